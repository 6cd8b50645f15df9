#include "base/PlatformError.h"
#include "platform/FileOps.h"

#include <QFile>

#include <cerrno>
#include <stdio.h>

namespace FileOps {

bool exchangeNatively(const QString &first, const QString &second)
{
    if (::renamex_np(QFile::encodeName(first).constData(), QFile::encodeName(second).constData(), RENAME_SWAP) == 0)
        return true;
    if (errno == EXDEV || errno == EINVAL || errno == ENOTSUP)
        return false;
    throw PlatformErrors::fileWrite(second, errno);
}

} // namespace FileOps
