// The Tidy page's actions on the model: the scan, and showing a place to the user.

#include "app/AppModel.h"
#include "base/Paths.h"
#include "datacare/BackupManager.h"
#include "datacare/Tidy.h"
#include "platform/FileOps.h"
#include "platform/Workspace.h"

#include <QFileInfo>

QCoro::Task<> AppModel::refreshTidy()
{
    // The app's place is read now, so a change of `installed` meanwhile does not affect this scan.
    const std::optional<QString> appPath = m_installed ? std::optional(m_installed->url) : std::nullopt;
    // A scan that ends after a newer one began keeps nothing (its app may be gone by now).
    auto scanning = m_tidy.refresh.inBackground(
        [appPath] {
            // What a killed restore or backup left goes first. No lock is taken (a change would
            // then find it held), so only what nothing has written to for a minute: a change
            // under way writes its files as it goes.
            BackupManager::removeLeftovers({Paths::automaticBackupsFolder()}, std::chrono::minutes(1));
            return Tidy::scan(appPath);
        },
        [this](QList<TidyRow> rows) { assign(m_tidy.rows, std::move(rows), &AppModel::tidyRowsChanged); });
    co_await std::move(scanning);
}

void AppModel::reveal(const QString &path)
{
    if (FileOps::exists(path))
        m_workspace.reveal(path);
    else
        m_workspace.open(QUrl::fromLocalFile(QFileInfo(path).path()));
}

void AppModel::openFolder(const QString &path)
{
    if (!FileOps::exists(path)) {
        setError(FriendlyError(QStringLiteral("That folder doesn't exist yet. Start OpenEmu once so it can create it."),
                               path));
        return;
    }
    m_workspace.open(QUrl::fromLocalFile(path));
}

void AppModel::openWebPage(const QUrl &url)
{
    m_workspace.open(url);
}
