#include "base/PlatformError.h"
#include "platform/FileOps.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>

namespace FileOps {

bool exchangeNatively(const QString &first, const QString &second)
{
    if (::renameat2(AT_FDCWD, QFile::encodeName(first).constData(), AT_FDCWD, QFile::encodeName(second).constData(),
                    RENAME_EXCHANGE)
        == 0)
        return true;
    // overlayfs answers EXDEV for folders of a lower layer; older file systems EINVAL.
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
        return false;
    throw PlatformErrors::fileWrite(second, errno);
}

} // namespace FileOps
