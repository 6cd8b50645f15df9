// The Guide page's actions on the model.

#include "app/AppModel.h"
#include "guide/GuideChecklist.h"

#include "base/Background.h"
#include "base/Prompter.h"
#include "base/Settings.h"

#include <QPointer>

QCoro::Task<> AppModel::refreshBIOS()
{
    struct Scanned
    {
        BiosMap found;
        BiosMap misplaced;
        BiosMap hashes;
        QList<KnownDump> known;
    };
    auto scan = [app = m_installed ? std::optional(m_installed->url) : std::nullopt] {
        const GuideChecklist::FoundFiles found = GuideChecklist::scanFileNames();
        QList<KnownDump> known = GuideChecklist::knownDumps(Cores::requiredFiles(Cores::installed(app)));
        QStringList names;
        for (const BIOSEntry &entry : ProjectDocs::biosTable())
            names.append(entry.files);
        for (const KnownDump &dump : std::as_const(known))
            names.append(dump.file);
        GuideChecklist::FoundFiles misplaced = GuideChecklist::misplacedFiles(names);
        const GuideChecklist::FileHashes hashes = GuideChecklist::hashFiles(found, known);
        return Scanned{found, std::move(misplaced), hashes, std::move(known)};
    };
    auto scanning = m_guide.refresh.inBackground(scan, [this](Scanned scanned) {
        m_guide.hashes = std::move(scanned.hashes);
        m_guide.known = std::move(scanned.known);
        m_guide.misplaced = std::move(scanned.misplaced);
        assign(m_guide.found, std::move(scanned.found), &AppModel::biosFoundChanged);
    });
    co_await std::move(scanning);
}

void AppModel::markGamesStepDone()
{
    Settings::setGamesStepDone(true);
    assign(m_guide.gamesStepDone, true, &AppModel::gamesFolderChanged);
}

QCoro::Task<Outcome> AppModel::chooseGamesFolder()
{
    const QPointer<AppModel> self(this);
    const Prompter::Panel panel{
        Prompter::PanelId::gamesFolder,
        QStringLiteral("Choose"),
        QStringLiteral("Choose the folder where your own game files are kept. Vantor only remembers the path."),
        {},
        true};
    const auto folder = co_await m_prompter.choose(panel);
    if (!self || !folder)
        co_return Outcome::declined;
    // Only the path is kept; Vantor never looks inside the folder.
    assign(m_guide.gamesFolder, std::optional<QString>(*folder), &AppModel::gamesFolderChanged);
    Settings::setGamesFolder(*folder);
    co_return Outcome::done;
}
