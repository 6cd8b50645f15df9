#include "base/PlatformError.h"
#include "base/TestHooks.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace FileOps {

// The Finder's own Trash: Qt asks the file manager (NSFileManager trashItemAtURL).
void moveToTrash(const QString &path)
{
    if (!exists(path))
        throw PlatformErrors::fileWrite(path, ENOENT);
    if (DemoFlag::isSet()) {
        // The file manager's Trash is the user's whatever HOME says: the demo's sandbox keeps
        // a Trash of its own.
        const QString trash = QDir::home().filePath(QStringLiteral(".Trash"));
        makePath(trash);
        const QString name = QFileInfo(path).fileName();
        QString target = QDir(trash).filePath(name);
        for (int n = 2; exists(target); ++n)
            target = QDir(trash).filePath(QStringLiteral("%1 %2").arg(name).arg(n));
        moveItem(path, target);
        return;
    }
    if (!QFile::moveToTrash(path))
        throw PlatformErrors::fileWrite(path, errno ? errno : EIO);
}

} // namespace FileOps
