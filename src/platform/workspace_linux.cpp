#include "platform/Workspace.h"

#include <QDesktopServices>
#include <QFileInfo>

// freedesktop has no portable "select this item"; opening the enclosing folder comes closest.
void SystemWorkspace::reveal(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).path()));
}

void SystemWorkspace::open(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}
