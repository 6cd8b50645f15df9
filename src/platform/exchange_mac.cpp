#include "base/PlatformError.h"
#include "platform/FileOps.h"

#include <QFile>

#include <cerrno>
#include <stdio.h>

namespace FileOps {

bool exchangeItems(const QString &first, const QString &second)
{
    checkpoint(QStringLiteral("exchange ") + first + QStringLiteral(" <-> ") + second);
    if (const auto fault = injectedFaultForTesting(first, second)) {
        if (*fault == EXDEV)
            return false;
        throw PlatformErrors::fileWrite(second, *fault);
    }
    if (::renamex_np(QFile::encodeName(first).constData(), QFile::encodeName(second).constData(), RENAME_SWAP) == 0)
        return true;
    if (errno == EXDEV || errno == EINVAL || errno == ENOTSUP)
        return false;
    throw PlatformErrors::fileWrite(second, errno);
}

} // namespace FileOps
