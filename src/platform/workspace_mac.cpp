#include "platform/Workspace.h"

#include <QDesktopServices>
#include <QProcess>

void SystemWorkspace::reveal(const QString &path)
{
    QProcess::startDetached(QStringLiteral("/usr/bin/open"), {QStringLiteral("-R"), path});
}

void SystemWorkspace::open(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}
