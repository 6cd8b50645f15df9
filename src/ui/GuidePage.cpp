#include "ui/GuidePage.h"

#include "app/AppModel.h"
#include "guide/ControllerMonitor.h"
#include "guide/GuideChecklist.h"
#include "ui/Card.h"
#include "ui/Widgets.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Widgets;

GuidePage::GuidePage(AppModel &model, ControllerMonitor &monitor, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_monitor(monitor)
    , m_steps(new QVBoxLayout)
    , m_games(new QVBoxLayout)
    , m_bios(new QVBoxLayout)
    , m_controllers(new QVBoxLayout)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(16);
    page->addWidget(title(QStringLiteral("First game guide"), this));
    const std::pair<QString, QVBoxLayout *> cards[] = {{QStringLiteral("Checklist"), m_steps},
                                                       {QStringLiteral("2. Games folder"), m_games},
                                                       {QStringLiteral("3. BIOS files"), m_bios},
                                                       {QStringLiteral("4. Controllers"), m_controllers}};
    for (const auto &[name, layout] : cards) {
        auto *card = new Card(name, this);
        card->content()->addLayout(layout);
        page->addWidget(card);
    }
    connect(&m_model, &AppModel::installedChanged, this, &GuidePage::sync);
    connect(&m_model, &AppModel::gamesFolderChanged, this, &GuidePage::sync);
    connect(&m_model, &AppModel::biosFoundChanged, this, &GuidePage::sync);
    connect(&m_model, &AppModel::busyChanged, this, &GuidePage::sync);
    connect(&m_monitor, &ControllerMonitor::controllersChanged, this, &GuidePage::sync);
    sync();
}

void GuidePage::sync()
{
    const auto &found = m_model.biosFound();
    const auto &controllers = m_monitor.controllers();

    clear(m_steps);
    for (const GuideStep &step : GuideChecklist::steps(m_model.installed().has_value(), m_model.gamesFolder(), found,
                                                       controllers.size(), m_model.gamesStepDone())) {
        auto *row = new QHBoxLayout;
        row->addWidget(icon(step.done ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"),
                            step.done ? tone(Tone::success) : QColor(Qt::gray), this),
                       0, Qt::AlignTop);
        auto *lines = new QVBoxLayout;
        lines->addWidget(bold(QStringLiteral("%1. %2").arg(step.id).arg(step.title), this));
        lines->addWidget(caption(step.detail, this));
        row->addLayout(lines, 1);
        m_steps->addLayout(row);
    }

    clear(m_games);
    const auto &games = m_model.gamesFolder();
    m_games->addWidget(text(games.value_or(QStringLiteral("No folder chosen yet.")), this));
    auto *buttons = new QHBoxLayout;
    auto *choose = new QPushButton(QStringLiteral("Choose Folder…"), this);
    choose->setAccessibleName(QStringLiteral("Choose the games folder…"));
    connect(choose, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.chooseGamesFolder()); });
    buttons->addWidget(choose);
    if (!games && !m_model.gamesStepDone()) {
        auto *done = new QPushButton(QStringLiteral("Mark as Done"), this);
        done->setAccessibleName(QStringLiteral("Mark the games folder step as done"));
        connect(done, &QPushButton::clicked, &m_model, [this] { m_model.markGamesStepDone(); });
        buttons->addWidget(done);
    }
    if (games) {
        auto *open = new QPushButton(QStringLiteral("Open in Finder"), this);
        open->setAccessibleName(QStringLiteral("Open the games folder in Finder"));
        connect(open, &QPushButton::clicked, &m_model, [this, path = *games] { m_model.openFolder(path); });
        buttons->addWidget(open);
    }
    buttons->addStretch();
    m_games->addLayout(buttons);
    m_games->addWidget(
        caption(QStringLiteral("Vantor only stores the path. It never copies your games. In OpenEmu, drag "
                               "your own game files onto the library window to add them."),
                this));

    clear(m_bios);
    m_bios->addWidget(
        caption(QStringLiteral("Only some systems need one. You must supply these files yourself; "
                               "Vantor doesn't download or provide them. Add BIOS Files… looks through a "
                               "folder (and the zips in it) and copies each file OpenEmu knows into place "
                               "under the name it expects, whatever it is called. A check mark means a known "
                               "good dump is in place under ~/Library/Application Support/OpenEmu."),
                this));
    // Files under any name, in folders and zips: the known dumps are found by their contents.
    auto *add = new QPushButton(QStringLiteral("Add BIOS Files…"), this);
    add->setEnabled(!m_model.isBusy());
    connect(add, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.importBios()); });
    m_bios->addWidget(add, 0, Qt::AlignLeft);
    for (const BIOSEntry &entry : ProjectDocs::biosTable()) {
        const QList<BiosCheck> checks
            = GuideChecklist::checks(entry, found, m_model.biosHashes(), m_model.knownDumps(), m_model.biosMisplaced());
        const GuideChecklist::Readiness state = GuideChecklist::readiness(entry, checks);
        auto *row = new QHBoxLayout;
        using Readiness = GuideChecklist::Readiness;
        row->addWidget(icon(state == Readiness::ready     ? QStringLiteral("checkmark.circle.fill")
                            : state == Readiness::warning ? QStringLiteral("exclamationmark.triangle.fill")
                                                          : QStringLiteral("circle"),
                            state == Readiness::ready     ? tone(Tone::success)
                            : state == Readiness::warning ? tone(Tone::warning)
                                                          : QColor(Qt::gray),
                            this),
                       0, Qt::AlignTop);
        auto *lines = new QVBoxLayout;
        lines->setSpacing(2);
        auto *name = new QHBoxLayout;
        name->setSpacing(0);
        name->addWidget(bold(entry.system, this));
        if (entry.optional)
            name->addWidget(caption(QStringLiteral("  (optional)"), this));
        name->addStretch();
        lines->addLayout(name);
        QLabel *files = caption(QStringLiteral("In the BIOS folder: ") + entry.files.join(QStringLiteral(", ")), this);
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPointSizeF(files->font().pointSizeF());
        files->setFont(mono);
        lines->addWidget(files);
        // Each file's mark: ✓ a known-good dump, ⚠ another dump (OpenEmu-Silicon starts the game
        // anyway), ✗ none in the BIOS folder.
        for (const BiosCheck &check : checks) {
            using State = BiosCheck::State;
            QString line = check.file + (check.optional ? QStringLiteral(" (optional) ") : QStringLiteral(" "));
            Tone mood = Tone::success;
            switch (check.state) {
            case State::verified:
            case State::present: line += QStringLiteral("✓"); break;
            case State::unrecognised:
                line += QStringLiteral("⚠ Not a known good dump: it may not work.");
                mood = Tone::warning;
                break;
            case State::bad:
                line += QStringLiteral("⚠ ") + check.remark;
                mood = Tone::warning;
                break;
            case State::missing:
                line += QStringLiteral("✗");
                mood = Tone::danger;
                break;
            }
            QLabel *mark = text(line, this);
            setColour(mark, tone(mood));
            mark->setAccessibleName(check.file + QLatin1Char(' ') + GuideChecklist::stateName(check.state));
            lines->addWidget(mark);
            // Where OpenEmu never looks: said, with the way into the BIOS folder.
            if (check.elsewhere) {
                auto *misplaced = new QHBoxLayout;
                misplaced->addWidget(
                    caption(QStringLiteral("Found in %1, where OpenEmu doesn't look.").arg(*check.elsewhere), this), 1);
                auto *move = new QPushButton(QStringLiteral("Move to BIOS Folder"), this);
                move->setAccessibleName(QStringLiteral("Move %1 to the BIOS folder").arg(check.file));
                move->setEnabled(!m_model.isBusy());
                connect(move, &QPushButton::clicked, &m_model, [this, from = *check.elsewhere] {
                    Widgets::runBound(this, m_model.importBios(QStringList{from}));
                });
                misplaced->addWidget(move, 0, Qt::AlignVCenter);
                lines->addLayout(misplaced);
            }
        }
        if (!entry.note.isEmpty())
            lines->addWidget(caption(entry.note, this));
        row->addLayout(lines, 1);
        auto *where = new QPushButton(QStringLiteral("Show Folder"), this);
        where->setToolTip(QStringLiteral("Where these files go"));
        where->setAccessibleName(QStringLiteral("Show the folder for %1 BIOS files").arg(entry.system));
        connect(where, &QPushButton::clicked, &m_model,
                [this, entry] { m_model.openFolder(GuideChecklist::folder(entry, m_model.biosFound())); });
        row->addWidget(where, 0, Qt::AlignTop);
        m_bios->addLayout(row);
        m_bios->addWidget(divider(this));
    }
    auto *recheck = new QPushButton(QStringLiteral("Check Again"), this);
    recheck->setAccessibleName(QStringLiteral("Look for BIOS files again"));
    connect(recheck, &QPushButton::clicked, &m_model, [this] { Widgets::runBound(this, m_model.refreshBIOS()); });
    m_bios->addWidget(recheck, 0, Qt::AlignLeft);

    clear(m_controllers);
    if (controllers.isEmpty())
        m_controllers->addWidget(text(QStringLiteral("No controller detected. Connect one by USB or Bluetooth (you may "
                                                     "need to press a button to wake it)."),
                                      this));
    for (const ControllerInfo &controller : controllers) {
        auto *row = new QHBoxLayout;
        row->addWidget(icon(QStringLiteral("gamecontroller.fill"), QColor(), this));
        auto *lines = new QVBoxLayout;
        lines->addWidget(bold(controller.name, this));
        lines->addWidget(caption(controller.kind, this));
        row->addLayout(lines, 1);
        m_controllers->addLayout(row);
    }
    auto *refresh = new QPushButton(QStringLiteral("Refresh"), this);
    refresh->setAccessibleName(QStringLiteral("Look for controllers again"));
    connect(refresh, &QPushButton::clicked, &m_monitor, &ControllerMonitor::refresh);
    m_controllers->addWidget(refresh, 0, Qt::AlignLeft);
}
