// The Guide page's actions on the model.

#include "app/AppModel.h"
#include "guide/GuideChecklist.h"

#include "base/Background.h"
#include "base/Prompter.h"
#include "base/Settings.h"

#include <QPointer>

QCoro::Task<> AppModel::refreshBIOS()
{
    auto scan = [] {
        const GuideChecklist::FoundFiles found = GuideChecklist::scanFileNames();
        return std::pair{found, GuideChecklist::hashFiles(found)};
    };
    auto scanning = m_guide.refresh.inBackground(scan, [this](std::pair<BiosMap, BiosMap> scanned) {
        m_guide.hashes = std::move(scanned.second);
        assign(m_guide.found, std::move(scanned.first), &AppModel::biosFoundChanged);
    });
    co_await std::move(scanning);
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
