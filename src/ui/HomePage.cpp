#include "ui/HomePage.h"

#include "app/AppModel.h"
#include "base/ByteCount.h"
#include "release/GitHubReleases.h"
#include "ui/Card.h"
#include "ui/FlowLayout.h"
#include "ui/Icons.h"
#include "ui/Widgets.h"

#include <QAbstractTextDocumentLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

using namespace Widgets;

QLabel *larger(QWidget *parent = nullptr)
{
    QLabel *label = text({}, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.25);
    label->setFont(font);
    return label;
}

QHBoxLayout *iconRow(QLabel *icon, QLabel *label)
{
    auto *row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(label, 1);
    return row;
}

} // namespace

HomePage::HomePage(AppModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(16);

    page->addWidget(title(QStringLiteral("Vantor"), this));

    // Your Mac
    auto *mac = new Card(QStringLiteral("Your Mac"), this);
    m_macOSIcon = new QLabel(mac);
    m_macOS = text({}, mac);
    m_siliconIcon = new QLabel(mac);
    m_silicon = text({}, mac);
    m_tooOld = text(QStringLiteral("Sorry, this Mac's macOS is too old for OpenEmu-Silicon."), mac);
    setColour(m_tooOld, tone(Tone::danger));
    mac->content()->addLayout(iconRow(m_macOSIcon, m_macOS));
    mac->content()->addLayout(iconRow(m_siliconIcon, m_silicon));
    mac->content()->addWidget(m_tooOld);
    page->addWidget(mac);

    // Not installed yet
    m_installCard = new Card(QStringLiteral("OpenEmu-Silicon isn't installed yet"), this);
    m_latestVersion = larger(m_installCard);
    m_download = text({}, m_installCard);
    auto *where = new QHBoxLayout;
    m_installTo = text(QStringLiteral("Install to"), m_installCard);
    m_installTo->setWordWrap(false);
    where->addWidget(m_installTo, 0, Qt::AlignTop);
    m_userFolder = new QRadioButton(QStringLiteral("Your Applications folder (~/Applications)"), m_installCard);
    m_systemFolder = new QRadioButton(QStringLiteral("/Applications (needs permission)"), m_installCard);
    auto *choice = new QButtonGroup(m_installCard);
    choice->addButton(m_userFolder);
    choice->addButton(m_systemFolder);
    auto *options = new QVBoxLayout;
    options->addWidget(m_userFolder);
    options->addWidget(m_systemFolder);
    where->addLayout(options);
    where->addStretch();
    m_signedNote
        = caption(QStringLiteral("The project's releases are signed and notarized, so no Gatekeeper workaround is "
                                 "used or needed."),
                  m_installCard);
    m_install = new QPushButton(QStringLiteral("Install OpenEmu-Silicon"), m_installCard);
    m_install->setDefault(true);
    m_loadingInstall = busyRow({}, m_installCard);
    m_couldNotLoad = text(QStringLiteral("Couldn't load the latest release."), m_installCard);
    m_tryAgain = new QPushButton(QStringLiteral("Try Again"), m_installCard);
    for (QWidget *w : std::initializer_list<QWidget *>{m_latestVersion, m_download})
        m_installCard->content()->addWidget(w);
    m_installCard->content()->addLayout(where);
    // Wrapped text takes the card's whole width (a left-aligned label would get only its
    // one-line width and clip); buttons keep their own size on the left.
    for (QWidget *w : std::initializer_list<QWidget *>{m_signedNote, m_loadingInstall, m_couldNotLoad})
        m_installCard->content()->addWidget(w);
    for (QWidget *w : std::initializer_list<QWidget *>{m_install, m_tryAgain})
        m_installCard->content()->addWidget(w, 0, Qt::AlignLeft);
    page->addWidget(m_installCard);

    // Installed
    m_installedCard = new Card(QStringLiteral("OpenEmu-Silicon"), this);
    m_installedVersion = larger(m_installedCard);
    m_installedPath = caption({}, m_installedCard);
    m_installedPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_updateState = text({}, m_installedCard);
    m_launch = new QPushButton(QStringLiteral("Launch OpenEmu"), m_installedCard);
    m_launch->setDefault(true);
    m_check = new QPushButton(QStringLiteral("Check for Updates"), m_installedCard);
    m_update = new QPushButton(QStringLiteral("Update"), m_installedCard);
    m_rollback = new QPushButton(QStringLiteral("Roll Back…"), m_installedCard);
    m_skip = new QPushButton(QStringLiteral("Skip This Version"), m_installedCard);
    m_autoBackup = new QCheckBox(QStringLiteral("Back up save states and battery saves first"), m_installedCard);
    connect(m_autoBackup, &QCheckBox::toggled, &m_model, &AppModel::setAutoBackupBeforeUpdate);
    m_offerAgain = new QPushButton(m_installedCard);
    m_updateNote = caption(QStringLiteral("Updating asks to quit OpenEmu if it's running, keeps your data folders "
                                          "untouched, and keeps the old app in Previous versions for one rollback."),
                           m_installedCard);
    auto *buttonRow = new QWidget(m_installedCard);
    auto *buttons = new FlowLayout(buttonRow);
    for (QPushButton *b : {m_launch, m_check, m_update, m_skip, m_offerAgain, m_rollback})
        buttons->addWidget(b);
    for (QWidget *w : std::initializer_list<QWidget *>{m_installedVersion, m_installedPath, m_updateState})
        m_installedCard->content()->addWidget(w);
    m_installedCard->content()->addWidget(buttonRow);
    m_installedCard->content()->addWidget(m_autoBackup);
    m_installedCard->content()->addWidget(m_updateNote);
    page->addWidget(m_installedCard);

    // Progress
    m_progressCard = new Card(QString(), this);
    m_bar = new QProgressBar(m_progressCard);
    m_bar->setTextVisible(false);
    m_progressText = caption({}, m_progressCard);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), m_progressCard);
    m_progressCard->content()->addWidget(m_bar);
    m_progressCard->content()->addWidget(m_progressText);
    m_progressCard->content()->addWidget(m_cancel, 0, Qt::AlignLeft);
    page->addWidget(m_progressCard);

    // Release notes
    m_notesCard = new Card(QString(), this);
    m_notes = new QTextBrowser(m_notesCard);
    // Links open in the browser, and only web links.
    m_notes->setOpenLinks(false);
    connect(m_notes, &QTextBrowser::anchorClicked, &m_model, [this](const QUrl &url) {
        if (url.scheme() == QStringLiteral("https") || url.scheme() == QStringLiteral("http"))
            m_model.openWebPage(url);
    });
    m_notes->setFrameShape(QFrame::NoFrame);
    m_notes->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_fallbackNote = text({}, m_notesCard);
    setColour(m_fallbackNote, tone(Tone::warning));
    m_notesCard->content()->addWidget(m_fallbackNote);
    m_notesCard->content()->addWidget(m_notes);
    // The box follows its text's height as the width changes, up to 220 px.
    connect(m_notes->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this](const QSizeF &size) {
                const int wanted = int(size.height()) + 2 * m_notes->frameWidth() + 4;
                if (m_notes->height() != std::min(220, wanted)) {
                    m_notes->setFixedHeight(std::min(220, wanted));
                    m_notesCard->updateGeometry();
                }
            });
    page->addWidget(m_notesCard);
    m_loadingRelease = busyRow(QStringLiteral("Looking up the latest release…"), this);
    page->addWidget(m_loadingRelease);

    connect(m_install, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.install(false)); });
    connect(m_tryAgain, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.checkLatest()); });
    connect(m_launch, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.launch()); });
    connect(m_check, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.checkForUpdates()); });
    connect(m_update, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.install(true)); });
    connect(m_skip, &QPushButton::clicked, &m_model, [this] {
        if (m_model.latest())
            m_model.skipVersion(m_model.latest()->tagName);
    });
    connect(m_offerAgain, &QPushButton::clicked, &m_model, &AppModel::offerSkippedVersionAgain);
    connect(m_rollback, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.rollback()); });
    connect(m_cancel, &QPushButton::clicked, &m_model, &AppModel::cancelInstall);
    connect(m_systemFolder, &QRadioButton::toggled, &m_model, &AppModel::setInstallToSystemApplications);

    // Progress changes many times a second and only touches the progress card; every other
    // change is a cheap pass over texts and states.
    connect(&m_model, &AppModel::downloadedChanged, this, &HomePage::syncProgress);
    connect(&m_model, &AppModel::busyMessageChanged, this, &HomePage::syncProgress);
    for (auto signal :
         {&AppModel::latestChanged, &AppModel::installedChanged, &AppModel::loadingReleaseChanged,
          &AppModel::phaseChanged, &AppModel::hasPreviousChanged, &AppModel::installToSystemApplicationsChanged,
          &AppModel::busyChanged, &AppModel::noticeChanged, &AppModel::errorChanged, &AppModel::skippedVersionChanged})
        connect(&m_model, signal, this, &HomePage::sync);
    sync();
}

void HomePage::syncProgress()
{
    const InstallPhase phase = m_model.phase();
    const bool downloading = phase == InstallPhase::downloading;
    static const QMap<InstallPhase, QString> titles = {
        {InstallPhase::idle, QString()},
        {InstallPhase::downloading, QStringLiteral("Downloading…")},
        {InstallPhase::verifying, QStringLiteral("Checking the download…")},
        {InstallPhase::unpacking, QStringLiteral("Unpacking…")},
        {InstallPhase::installing, QStringLiteral("Installing…")},
    };
    // From the first step: the wait for OpenEmu to quit comes before the download, and can be
    // cancelled as well.
    const bool waiting = phase == InstallPhase::idle && m_model.isInstalling();
    m_progressCard->setVisible(phase != InstallPhase::idle || waiting);
    m_progressCard->setTitle(waiting ? m_model.busyMessage().value_or(QStringLiteral("Getting ready…"))
                                     : titles.value(phase));
    if (downloading) {
        // QProgressBar counts in int: show thousandths of the total.
        const double total = std::max<double>(double(m_model.totalBytes()), 1.0);
        m_bar->setRange(0, 1000);
        m_bar->setValue(int(std::min(1.0, double(m_model.downloaded()) / total) * 1000));
        m_progressText->setText(QStringLiteral("%1 of %2 · %3/s")
                                    .arg(ByteCount::fileStyle(m_model.downloaded()),
                                         ByteCount::fileStyle(m_model.totalBytes()),
                                         ByteCount::fileStyle(qint64(m_model.speed()))));
    } else {
        m_bar->setRange(0, 0);
    }
    m_progressText->setVisible(downloading);
    m_cancel->setEnabled(downloading || waiting);
}

void HomePage::sync()
{
    const HostStatus host = m_model.host();
    const bool macOSOk = host.meetsMacOS;
    const bool silicon = host.appleSilicon;
    m_macOSIcon->setAccessibleName(iconMeaning(macOSOk ? QStringLiteral("checkmark") : QStringLiteral("xmark")));
    m_macOSIcon->setPixmap(
        Icons::pixmap(macOSOk ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("xmark.octagon.fill"), 16,
                      macOSOk ? tone(Tone::success) : tone(Tone::danger)));
    m_macOS->setText(QStringLiteral("macOS %1 — OpenEmu-Silicon needs macOS %2 or newer.")
                         .arg(host.macOSVersion)
                         .arg(host.minimumMacOSMajor));
    m_siliconIcon->setAccessibleName(iconMeaning(silicon ? QStringLiteral("checkmark") : QStringLiteral("xmark")));
    m_siliconIcon->setPixmap(
        Icons::pixmap(silicon ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("xmark.octagon.fill"), 16,
                      silicon ? tone(Tone::success) : tone(Tone::danger)));
    m_silicon->setText(silicon
                           ? QStringLiteral("Apple silicon detected.")
                           : QStringLiteral("This Mac isn't running on Apple silicon. OpenEmu-Silicon doesn't support "
                                            "Intel Macs."));
    m_tooOld->setVisible(host.macOS10OrOlder);

    const auto &latest = m_model.latest();
    const auto &installed = m_model.installed();
    const bool busy = m_model.isBusy();

    m_installCard->setVisible(!installed);
    const auto asset = latest ? GitHubReleases::pickAsset(*latest) : std::nullopt;
    for (QWidget *w : std::initializer_list<QWidget *>{m_latestVersion, m_download, m_installTo, m_userFolder,
                                                       m_systemFolder, m_signedNote, m_install})
        w->setVisible(latest.has_value());
    if (latest) {
        m_latestVersion->setText(QStringLiteral("Latest version: ") + latest->tagName);
        if (asset) {
            m_download->setText(QStringLiteral("Download: %1, %2").arg(asset->name, ByteCount::fileStyle(asset->size)));
            setColour(m_download, palette().color(QPalette::WindowText));
        } else {
            m_download->setText(QStringLiteral("This release has no downloadable app file."));
            setColour(m_download, tone(Tone::danger));
        }
    }
    const QSignalBlocker block(m_systemFolder);
    (m_model.installToSystemApplications() ? m_systemFolder : m_userFolder)->setChecked(true);
    m_install->setEnabled(asset.has_value() && !busy && macOSOk && silicon);
    m_loadingInstall->setVisible(!latest && m_model.loadingRelease());
    m_couldNotLoad->setVisible(!latest && !m_model.loadingRelease());
    m_tryAgain->setVisible(!latest && !m_model.loadingRelease());

    m_installedCard->setVisible(installed.has_value());
    if (installed) {
        m_installedVersion->setText(QStringLiteral("Installed version ") + installed->version);
        m_installedPath->setText(installed->url);
        const bool update = m_model.updateAvailable();
        m_updateState->setVisible(latest.has_value());
        if (latest) {
            const bool skipped = m_model.latestIsSkipped();
            m_updateState->setText(update    ? QStringLiteral("Update available: ") + latest->tagName
                                   : skipped ? QStringLiteral("Skipped ") + latest->tagName + QLatin1Char('.')
                                             : QStringLiteral("You're up to date."));
            setColour(m_updateState, update ? tone(Tone::accent) : tone(Tone::success));
            m_offerAgain->setText(QStringLiteral("Offer %1 Again").arg(latest->tagName));
            m_offerAgain->setVisible(skipped);
        }
        m_skip->setVisible(update);
        m_autoBackup->setVisible(update);
        const QSignalBlocker quiet(m_autoBackup);
        m_autoBackup->setChecked(m_model.autoBackupBeforeUpdate());
        m_skip->setEnabled(!busy);
        if (!latest)
            m_offerAgain->setVisible(false);
        m_check->setEnabled(!m_model.loadingRelease());
        // OpenEmu opened in the middle of a change would be replaced or moved while it runs.
        m_launch->setEnabled(!busy);
        m_update->setVisible(update);
        m_update->setEnabled(!busy);
        // Return does what the card is there for: update when there is one, else launch.
        m_update->setDefault(update);
        m_launch->setDefault(!update);
        // Named by where it goes: back to an older copy, or on to the newer one a rollback kept.
        const QString kept = m_model.keptVersion();
        m_rollback->setText(kept.isEmpty()                  ? QStringLiteral("Roll Back…")
                            : m_model.rollbackGoesForward() ? QStringLiteral("Switch to %1…").arg(kept)
                                                            : QStringLiteral("Go Back to %1…").arg(kept));
        m_rollback->setVisible(m_model.canRollBack());
        m_rollback->setEnabled(!busy);
        m_updateNote->setVisible(update);
    }

    syncProgress();

    m_notesCard->setVisible(latest.has_value());
    m_loadingRelease->setVisible(!latest && m_model.loadingRelease());
    if (latest) {
        m_notesCard->setTitle(QStringLiteral("Release notes — ") + latest->name.value_or(latest->tagName));
        m_fallbackNote->setText(m_model.fallbackNote().value_or(QString()));
        m_fallbackNote->setVisible(m_model.fallbackNote().has_value());
        const QString markdown = latest->body.value_or(QStringLiteral("No release notes were published."));
        if (m_notes->property("shownNotes").toString() != markdown) { // keep the reader's scroll position
            showNotes(m_notes, markdown);
            m_notes->setProperty("shownNotes", markdown);
        }
    }
}

void HomePage::showNotes(QTextBrowser *box, const QString &markdown)
{
    // GitHub's dialect as the release page writes it (headings, lists, tables, code, links);
    // raw HTML is shown as text, never run.
    box->document()->setMarkdown(markdown, QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub
                                                                           | QTextDocument::MarkdownNoHTML));
    // As tall as the notes need, up to 220 px; longer notes scroll.
    box->document()->setTextWidth(box->viewport()->width() > 50 ? box->viewport()->width() : 600);
    const int wanted = int(box->document()->size().height()) + 2 * box->frameWidth() + 8;
    box->setFixedHeight(std::min(220, wanted));
}
