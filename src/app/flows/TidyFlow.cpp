// The Tidy page's actions on the model: the scan, and showing a place to the user.

#include "app/AppModel.h"
#include "datacare/Tidy.h"
#include "platform/FileOps.h"
#include "platform/Workspace.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

QCoro::Task<> AppModel::refreshTidy()
{
    // The app's place is read now, so a change of `installed` meanwhile does not affect this scan.
    const std::optional<QString> appPath = m_installed ? std::optional(m_installed->url) : std::nullopt;
    QFuture<QList<TidyRow>> scanning = QtConcurrent::run([appPath] { return Tidy::scan(appPath); });
    const auto alive = m_alive;
    const quint64 scan = ++m_tidyScans;
    QList<TidyRow> rows = co_await scanning;
    if (!*alive)
        co_return; // the model went away while the scan ran
    if (scan != m_tidyScans)
        co_return; // a newer scan started meanwhile: an older one must not overwrite it
    assign(m_tidyRows, std::move(rows), &AppModel::tidyRowsChanged);
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
