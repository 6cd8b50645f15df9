#include "ui/OtherPages.h"

#include "app/AppModel.h"
#include "base/ByteCount.h"
#include "guide/ProjectDocs.h"
#include "platform/Workspace.h"
#include "ui/Card.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
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
    , m_backup(new QPushButton(QStringLiteral("Back Up…"), this))
    , m_restore(new QPushButton(QStringLiteral("Restore from Zip…"), this))
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
    auto *buttons = new QHBoxLayout;
    auto *refresh = new QPushButton(QStringLiteral("Refresh Sizes"), this);
    buttons->addWidget(m_backup);
    buttons->addWidget(m_restore);
    buttons->addWidget(refresh);
    buttons->addStretch();
    card->content()->addLayout(buttons);
    card->content()->addWidget(
        caption(QStringLiteral("OpenEmu must be closed for both. Folder locations follow the "
                               "project's docs for the library; the Save States folder name is an "
                               "assumption and shows \"not found\" if it differs."),
                this));
    page->addWidget(card);

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
    m_backup->setEnabled(total > 0 && !m_model.isBusy());
    m_backup->setDefault(true);
    m_restore->setEnabled(!m_model.isBusy());
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
    auto *refresh = new QPushButton(QStringLiteral("Refresh"), this);
    space->content()->addWidget(refresh, 0, Qt::AlignLeft);
    page->addWidget(space);
    auto *remove = new Card(QStringLiteral("Uninstall"), this);
    remove->content()->addWidget(
        text(QStringLiteral("Moves only the app to the Trash. You'll be asked separately whether to "
                            "also remove OpenEmu's data."),
             this));
    remove->content()->addWidget(m_uninstall, 0, Qt::AlignLeft);
    page->addWidget(remove);

    connect(refresh, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.refreshTidy()); });
    connect(m_uninstall, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.uninstall()); });
    connect(&m_model, &AppModel::tidyRowsChanged, this, &TidyPage::sync);
    connect(&m_model, &AppModel::installedChanged, this, &TidyPage::sync);
    connect(&m_model, &AppModel::busyChanged, this, &TidyPage::sync);
    sync();
}

void TidyPage::sync()
{
    clear(m_rows);
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
        }
        // With the app gone, what it left behind can go too.
        if (!m_model.installed() && row.exists && !row.refused && row.id != QStringLiteral("app")) {
            auto *trash = new QPushButton(QStringLiteral("Move to Trash…"), this);
            trash->setAccessibleName(QStringLiteral("Move %1 to the Trash…").arg(row.title));
            trash->setEnabled(!m_model.isBusy());
            connect(trash, &QPushButton::clicked, &m_model,
                    [this, id = row.id] { Widgets::runBound(this, m_model.trashLeftover(id)); });
            line->addWidget(trash, 0, Qt::AlignVCenter);
        }
        m_rows->addLayout(line);
        m_rows->addWidget(divider(this));
    }
    m_uninstall->setEnabled(m_model.installed().has_value() && !m_model.isBusy());
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
