#include "base/PlatformError.h"
#include "platform/FileOps.h"

#include <QFile>

#include <cerrno>

namespace FileOps {

// The Finder's own Trash: Qt asks the file manager (NSFileManager trashItemAtURL).
void moveToTrash(const QString &path)
{
    if (!exists(path))
        throw PlatformErrors::fileWrite(path, ENOENT);
    if (!QFile::moveToTrash(path))
        throw PlatformErrors::fileWrite(path, errno ? errno : EIO);
}

} // namespace FileOps
