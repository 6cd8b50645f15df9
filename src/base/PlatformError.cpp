#include "base/PlatformError.h"

#include <cerrno>
#include <cstring>

namespace {

QString systemText(int errnum, const QString &what)
{
    const QString text = QString::fromLocal8Bit(std::strerror(errnum));
    return what.isEmpty() ? text : what + QStringLiteral(": ") + text;
}

} // namespace

namespace PlatformErrors {

PlatformError posix(int errnum, const QString &what)
{
    return {ErrorDomain::posix, errnum, systemText(errnum, what)};
}

PlatformError fileRead(const QString &path, int errnum)
{
    qint64 code = CocoaCode::fileReadUnknown;
    if (errnum == EACCES || errnum == EPERM)
        code = CocoaCode::fileReadNoPermission;
    else if (errnum == ENOENT)
        code = CocoaCode::fileNoSuchFile;
    return {ErrorDomain::cocoa, code, systemText(errnum, path), errnum};
}

PlatformError fileWrite(const QString &path, int errnum)
{
    qint64 code = CocoaCode::fileWriteUnknown;
    if (errnum == EACCES || errnum == EPERM || errnum == EROFS)
        code = CocoaCode::fileWriteNoPermission;
    else if (errnum == ENOSPC || errnum == EDQUOT)
        code = CocoaCode::fileWriteOutOfSpace;
    else if (errnum == ENOENT)
        code = CocoaCode::fileNoSuchFile;
    return {ErrorDomain::cocoa, code, systemText(errnum, path), errnum};
}

} // namespace PlatformErrors
