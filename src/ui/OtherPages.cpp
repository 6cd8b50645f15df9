#include "ui/OtherPages.h"

#include "app/AppModel.h"
#include "base/ByteCount.h"
#include "guide/ProjectDocs.h"
#include "platform/Workspace.h"
#include "ui/Card.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

using namespace Widgets;

namespace {

QVBoxLayout *pageLayout(QWidget *page)
{
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    return layout;
}

} // namespace

SystemsPage::SystemsPage(AppModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_cores(new QVBoxLayout)
{
    QVBoxLayout *page = pageLayout(this);
    page->addWidget(title(QStringLiteral("Supported systems"), this));
    auto *cores = new Card(QStringLiteral("Cores installed on this Mac"), this);
    cores->content()->addLayout(m_cores);
    page->addWidget(cores);
    connect(&m_model, &AppModel::coresChanged, this, [this] {
        syncCores();
        syncSystems();
    });
    syncCores();
    m_source = caption({}, this);
    page->addWidget(m_source);
    m_systems = new Card(QString(), this);
    page->addWidget(m_systems);
    syncSystems();
}

void SystemsPage::syncSystems()
{
    // What the installed OpenEmu has, once it is installed; the project's table before.
    const QList<SystemInfo> &systems = m_model.systems();
    const bool installed = &systems != &ProjectDocs::systems();
    m_source->setText(installed ? QStringLiteral("As the installed OpenEmu-Silicon has them: its systems and the cores "
                                                 "that play each.")
                                : QStringLiteral("The systems OpenEmu-Silicon's cores play. Install it to see what "
                                                 "this Mac has."));
    m_systems->setTitle(QStringLiteral("%1 systems").arg(systems.size()));
    clear(m_systems->content());
    for (const SystemInfo &system : systems) {
        if (&system != &systems.first())
            m_systems->content()->addWidget(divider(this));
        auto *row = new QHBoxLayout;
        auto *lines = new QVBoxLayout;
        lines->setSpacing(2);
        lines->addWidget(bold(system.name, this));
        lines->addWidget(caption(QStringLiteral("Core: ") + system.core
                                     + (system.note.isEmpty() ? QString() : QStringLiteral(" · ") + system.note),
                                 this));
        row->addLayout(lines, 1);
        if (system.bios) {
            row->addWidget(icon(QStringLiteral("exclamationmark.circle"), tone(Tone::warning), this));
            row->addWidget(status(QStringLiteral("BIOS: ") + *system.bios, Tone::warning, this));
        } else {
            row->addWidget(status(QStringLiteral("No BIOS needed"), Tone::success, this));
        }
        m_systems->content()->addLayout(row);
    }
}

void SystemsPage::syncCores()
{
    clear(m_cores);
    if (m_model.cores().isEmpty()) {
        m_cores->addWidget(text(m_model.installed() ? QStringLiteral("No cores found.")
                                                    : QStringLiteral("Install OpenEmu-Silicon to see its cores."),
                                this));
        return;
    }
    for (const Core &core : m_model.cores()) {
        auto *row = new QHBoxLayout;
        row->addWidget(bold(core.name, this), 1);
        row->addWidget(text(core.version.isEmpty() ? QStringLiteral("no version") : core.version, this));
        row->addWidget(caption(core.place == QStringLiteral("support") ? QStringLiteral("downloaded by OpenEmu")
                                                                       : QStringLiteral("comes with the app"),
                               this));
        m_cores->addLayout(row);
    }
}

BackupPage::BackupPage(AppModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_items(new QVBoxLayout)
    , m_total(text({}, this))
    , m_folder(text({}, this))
    , m_backup(new QPushButton(QStringLiteral("Back Up"), this))
    , m_restore(new QPushButton(QStringLiteral("Restore from Zip…"), this))
    , m_earlier(new QVBoxLayout)
{
    QVBoxLayout *page = pageLayout(this);
    page->addWidget(title(QStringLiteral("Backup & restore"), this));
    page->addWidget(
        caption(QStringLiteral("The project advises backing up save states before your first launch of a new "
                               "build, because older ones can crash the ARM64 cores."),
                this));
    auto *card = new Card(QStringLiteral("What to back up"), this);
    card->content()->addLayout(m_items);
    card->content()->addWidget(m_total);
    // Where the zip goes, said before the click: the same folder the command line uses.
    auto *where = new QHBoxLayout;
    where->addWidget(m_folder, 1);
    m_change = new QPushButton(QStringLiteral("Change…"), this);
    QPushButton *change = m_change;
    change->setAccessibleName(QStringLiteral("Change the backup folder"));
    where->addWidget(change);
    card->content()->addLayout(where);
    auto *buttons = new QHBoxLayout;
    m_refreshSizes = new QPushButton(QStringLiteral("Refresh Sizes"), this);
    QPushButton *refresh = m_refreshSizes;
    buttons->addWidget(m_backup);
    buttons->addWidget(m_restore);
    buttons->addWidget(refresh);
    buttons->addStretch();
    card->content()->addLayout(buttons);
    card->content()->addWidget(
        caption(QStringLiteral("OpenEmu must be closed for both; Vantor asks it to quit first."), this));
    page->addWidget(card);
    auto *earlier = new Card(QStringLiteral("Earlier backups"), this);
    earlier->content()->addLayout(m_earlier);
    page->addWidget(earlier);
    connect(change, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.chooseBackupFolder()); });
    m_shownEarlier = {QStringLiteral("\n")}; // no list shown yet, not even an empty one

    connect(m_backup, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.runBackup()); });
    connect(m_restore, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.runRestore()); });
    connect(refresh, &QPushButton::clicked, &m_model,
            [this] { Widgets::runBound(this, m_model.refreshBackupItems()); });
    connect(&m_model, &AppModel::backupItemsChanged, this, &BackupPage::sync);
    connect(&m_model, &AppModel::busyChanged, this, &BackupPage::sync);
    sync();
}

void BackupPage::sync()
{
    // The rows are built once for a set of items; later changes update them in place, so a
    // toggle keeps the keyboard focus.
    QStringList ids;
    for (const BackupItem &item : m_model.backupItems())
        ids.append(item.id);
    if (ids != m_shownIds) {
        clear(m_items);
        m_toggles.clear();
        for (const BackupItem &item : m_model.backupItems()) {
            // A real check box whose title is its own text: clicking the title toggles it.
            auto *toggle = new QCheckBox(this);
            toggle->setAccessibleName(item.title);
            QFont font = toggle->font();
            font.setBold(true);
            toggle->setFont(font);
            connect(toggle, &QCheckBox::toggled, &m_model,
                    [this, id = item.id](bool on) { m_model.setBackupItemIncluded(id, on); });
            QLabel *detail = caption(item.detail, this);
            detail->setIndent(24);
            m_items->addWidget(toggle);
            m_items->addWidget(detail);
            m_toggles.insert(item.id, toggle);
        }
        m_shownIds = ids;
    }
    qint64 total = 0;
    for (const BackupItem &item : m_model.backupItems()) {
        if (item.include && item.exists)
            total += item.size;
        QCheckBox *toggle = m_toggles.value(item.id);
        const QSignalBlocker quiet(toggle);
        toggle->setText(item.title + QStringLiteral(" — ")
                        + (item.exists ? ByteCount::fileStyle(item.size) : QStringLiteral("not found")));
        toggle->setChecked(item.include);
        toggle->setEnabled(item.exists);
    }
    m_total->setText(
        QStringLiteral("Total to copy: %1 (the zip is usually a bit smaller)").arg(ByteCount::fileStyle(total)));
    const bool busy = m_model.isBusy();
    m_backup->setEnabled(total > 0 && !busy);
    m_backup->setDefault(true);
    m_restore->setEnabled(!busy);
    // A button that can't be used says why, to the pointer and to a screen reader.
    const QString busyWhy = QStringLiteral("Available when Vantor has finished changing OpenEmu.");
    const QString backupWhy = busy ? busyWhy : total > 0 ? QString() : QStringLiteral("Choose something to back up.");
    for (auto [button, why] : {std::pair{m_backup, backupWhy}, std::pair{m_restore, busy ? busyWhy : QString()}}) {
        button->setToolTip(why);
        button->setAccessibleDescription(why);
    }

    QString shown = m_model.backupFolder();
    if (shown.startsWith(QDir::homePath() + QLatin1Char('/')))
        shown = QStringLiteral("~") + shown.mid(QDir::homePath().size());
    m_folder->setText(QStringLiteral("Back up to: ") + shown);

    // Tab goes as the page reads: the toggles, the folder, the buttons, then the earlier backups.
    QList<QWidget *> order;
    for (const BackupItem &item : m_model.backupItems())
        order.append(m_toggles.value(item.id));
    order << m_change << m_backup << m_restore << m_refreshSizes;

    // The zips already there, newest first, each with its own Restore… and Show in Finder.
    QStringList paths;
    for (const auto &zip : m_model.earlierBackups())
        paths.append(zip.path);
    if (paths != m_shownEarlier) {
        clear(m_earlier);
        m_shownEarlier = paths;
        if (paths.isEmpty())
            m_earlier->addWidget(caption(QStringLiteral("No backups in this folder yet."), this));
        for (const auto &zip : m_model.earlierBackups().mid(0, 10)) {
            auto *row = new QHBoxLayout;
            const QString when = QLocale().toString(zip.made, QLocale::LongFormat);
            row->addWidget(text(when + QStringLiteral(" — ") + ByteCount::fileStyle(zip.size), this), 1);
            auto *restore = new QPushButton(QStringLiteral("Restore…"), this);
            restore->setAccessibleName(QStringLiteral("Restore the backup of ") + when);
            auto *show = new QPushButton(QStringLiteral("Show in Finder"), this);
            show->setAccessibleName(QStringLiteral("Show the backup of %1 in Finder").arg(when));
            connect(restore, &QPushButton::clicked, &m_model,
                    [this, path = zip.path] { Widgets::runBound(this, m_model.runRestore(path)); });
            connect(show, &QPushButton::clicked, &m_model, [this, path = zip.path] { m_model.reveal(path); });
            row->addWidget(restore);
            row->addWidget(show);
            m_earlier->addLayout(row);
        }
    }
    for (int i = 0; i < m_earlier->count(); ++i) {
        if (QLayout *row = m_earlier->itemAt(i)->layout()) {
            for (int j = 0; j < row->count(); ++j) {
                if (auto *button = qobject_cast<QPushButton *>(row->itemAt(j)->widget()))
                    order.append(button);
            }
        }
    }
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    for (QPushButton *button : findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("Restore…"))
            button->setEnabled(!busy);
    }
}

TidyPage::TidyPage(AppModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_rows(new QVBoxLayout)
    , m_uninstall(new QPushButton(QStringLiteral("Uninstall OpenEmu-Silicon…"), this))
{
    QVBoxLayout *page = pageLayout(this);
    page->addWidget(title(QStringLiteral("Tidy"), this));
    auto *space = new Card(QStringLiteral("Space used"), this);
    space->content()->addLayout(m_rows);
    m_refresh = new QPushButton(QStringLiteral("Refresh"), this);
    space->content()->addWidget(m_refresh, 0, Qt::AlignLeft);
    page->addWidget(space);
    auto *remove = new Card(QStringLiteral("Uninstall"), this);
    remove->content()->addWidget(
        text(QStringLiteral("Choose what goes to the Trash: the app and its caches, and any of OpenEmu's data you "
                            "tick. Your save states, battery saves, BIOS files and library stay unless you do."),
             this));
    remove->content()->addWidget(m_uninstall, 0, Qt::AlignLeft);
    page->addWidget(remove);

    connect(m_refresh, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.refreshTidy()); });
    connect(m_uninstall, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.uninstall()); });
    connect(&m_model, &AppModel::tidyRowsChanged, this, &TidyPage::sync);
    connect(&m_model, &AppModel::installedChanged, this, &TidyPage::sync);
    connect(&m_model, &AppModel::busyChanged, this, &TidyPage::sync);
    sync();
}

void TidyPage::sync()
{
    clear(m_rows);
    QList<QWidget *> order; // Tab goes down the rows, then to the page's own buttons
    if (m_model.tidyRows().isEmpty())
        m_rows->addWidget(text(QStringLiteral("Nothing found yet."), this));
    for (const TidyRow &row : m_model.tidyRows()) {
        auto *line = new QHBoxLayout;
        auto *lines = new QVBoxLayout;
        lines->addWidget(bold(
            row.title + QStringLiteral(" — ") + (row.exists ? ByteCount::fileStyle(row.size) : row.absent()), this));
        QLabel *path = caption(row.url, this);
        path->setTextInteractionFlags(Qt::TextSelectableByMouse);
        lines->addWidget(path);
        line->addLayout(lines, 1);
        // Nothing there, or a folder Vantor won't touch: nothing to show in the Finder.
        if (row.exists && !row.refused) {
            auto *reveal = new QPushButton(QStringLiteral("Reveal in Finder"), this);
            reveal->setAccessibleName(QStringLiteral("Reveal %1 in Finder").arg(row.title));
            connect(reveal, &QPushButton::clicked, &m_model, [this, url = row.url] { m_model.reveal(url); });
            line->addWidget(reveal, 0, Qt::AlignVCenter);
            order.append(reveal);
        }
        // With the app gone, what it left behind can go too.
        // The caches and the kept copy at any time; OpenEmu's data once its app has gone.
        if (row.exists && !row.refused && row.id != QStringLiteral("app")
            && (!m_model.installed() || AppModel::canTrashAnyTime(row.id))) {
            auto *trash = new QPushButton(QStringLiteral("Move to Trash…"), this);
            trash->setAccessibleName(QStringLiteral("Move %1 to the Trash…").arg(row.title));
            trash->setEnabled(!m_model.isBusy());
            connect(trash, &QPushButton::clicked, &m_model,
                    [this, id = row.id] { Widgets::runBound(this, m_model.trashLeftover(id)); });
            line->addWidget(trash, 0, Qt::AlignVCenter);
            order.append(trash);
        }
        m_rows->addLayout(line);
        m_rows->addWidget(divider(this));
    }
    m_uninstall->setEnabled(m_model.installed().has_value() && !m_model.isBusy());
    order << m_refresh << m_uninstall;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

AboutPage::AboutPage(AppModel &model, QWidget *parent)
    : QWidget(parent)
{
    QVBoxLayout *page = pageLayout(this);
    page->addWidget(title(QStringLiteral("About"), this));
    auto *vantor = new Card(QStringLiteral("Vantor"), this);
    vantor->content()->addWidget(caption(QStringLiteral("Version ") + QStringLiteral(VANTOR_VERSION), this));
    vantor->content()->addWidget(
        text(QStringLiteral("A friendly installer, updater and setup helper for OpenEmu-Silicon. "
                            "It downloads the project's own signed releases from GitHub and "
                            "doesn't copy or rebuild OpenEmu."),
             this));
    vantor->content()->addWidget(
        bold(QStringLiteral("OpenEmu-Silicon is a separate project; Vantor is not affiliated with "
                            "it. You must own the games you play."),
             this));
    page->addWidget(vantor);
    auto *credits = new Card(QStringLiteral("Credits and licenses"), this);
    credits->content()->addWidget(
        text(QStringLiteral("OpenEmu-Silicon: BSD 3-Clause for the main application. Individual "
                            "emulation cores carry their own licenses (such as GPL v2, MPL 2.0 and "
                            "LGPL 2.1), as stated in the project's README."),
             this));
    auto *links = new QHBoxLayout;
    auto *project = new QPushButton(QStringLiteral("Project Page"), this);
    auto *wiki = new QPushButton(QStringLiteral("Project Wiki"), this);
    links->addWidget(project);
    links->addWidget(wiki);
    links->addStretch();
    credits->content()->addLayout(links);
    // This build stands on open-source libraries, so it says so rather than claiming none.
    credits->content()->addWidget(
        caption(QStringLiteral("Vantor is built with Qt, QCoro, libplist, libarchive, SDL and OpenSSL, each "
                               "under its own open-source license."),
                this));
    page->addWidget(credits);

    const QUrl projectUrl(QStringLiteral("https://github.com/OpenEmu-Silicon/OpenEmu-Silicon"));
    connect(project, &QPushButton::clicked, &model, [&model, projectUrl] { model.openWebPage(projectUrl); });
    connect(wiki, &QPushButton::clicked, &model,
            [&model, projectUrl] { model.openWebPage(QUrl(projectUrl.toString() + QStringLiteral("/wiki"))); });
}
