// The Guide page's actions on the model.

#include "app/AppModel.h"
#include "guide/GuideChecklist.h"

#include "base/Background.h"
#include "base/Prompter.h"
#include "base/Settings.h"
#include <QPointer>

QCoro::Task<> AppModel::refreshBIOS()
{
    auto scanning = Background::run([] { return GuideChecklist::scanFileNames(); });
    const QPointer<AppModel> alive(this);
    auto scanned = co_await scanning;
    if (!alive)
        co_return; // the model went away while the scan ran
    assign(m_biosFound, scanned.take(), &AppModel::biosFoundChanged);
}

void AppModel::chooseGamesFolder()
{
    const auto folder = m_prompter.chooseFolder(
        QStringLiteral("Choose the folder where your own game files are kept. Vantor only remembers the path."));
    if (!folder)
        return;
    // Only the path is kept; Vantor never looks inside the folder.
    assign(m_gamesFolder, std::optional<QString>(*folder), &AppModel::gamesFolderChanged);
    Settings::setGamesFolder(*folder);
}
