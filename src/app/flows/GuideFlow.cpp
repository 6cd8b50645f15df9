// The Guide page's actions on the model.

#include "app/AppModel.h"
#include "guide/GuideChecklist.h"

#include "base/Background.h"
#include "base/Prompter.h"
#include "base/Settings.h"

QCoro::Task<> AppModel::refreshBIOS()
{
    auto scanning = Background::run([] {
        const GuideChecklist::FoundFiles found = GuideChecklist::scanFileNames();
        return std::pair{found, GuideChecklist::hashFiles(found)};
    });
    const auto alive = m_alive;
    auto scanned = co_await scanning;
    if (!*alive)
        co_return; // the model went away while the scan ran
    auto [found, hashes] = scanned.take();
    m_biosHashes = std::move(hashes);
    assign(m_biosFound, std::move(found), &AppModel::biosFoundChanged);
}

QCoro::Task<Outcome> AppModel::chooseGamesFolder()
{
    const auto alive = m_alive;
    const Prompter::Panel panel{
        Prompter::PanelId::gamesFolder,
        QStringLiteral("Choose"),
        QStringLiteral("Choose the folder where your own game files are kept. Vantor only remembers the path."),
        {},
        true};
    const auto folder = co_await m_prompter.choose(panel);
    if (!*alive || !folder)
        co_return Outcome::declined;
    // Only the path is kept; Vantor never looks inside the folder.
    assign(m_gamesFolder, std::optional<QString>(*folder), &AppModel::gamesFolderChanged);
    Settings::setGamesFolder(*folder);
    co_return Outcome::done;
}
