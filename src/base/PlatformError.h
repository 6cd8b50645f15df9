#pragma once

#include <QString>
#include <QtGlobal>

// A failure reported by the operating system or a system library, described the way the
// rest of Vantor reads it: a family of codes (domain), a code within it, and the system's
// own one-line text. The domains are the macOS names so that one table maps them all.
struct PlatformError
{
    QString domain;
    qint64 code = 0;
    QString description;
    int errnum = 0; // the errno behind a file failure, when there was one
};

namespace ErrorDomain {
inline const QString url = QStringLiteral("NSURLErrorDomain");
inline const QString cocoa = QStringLiteral("NSCocoaErrorDomain");
inline const QString posix = QStringLiteral("NSPOSIXErrorDomain");
} // namespace ErrorDomain

// Codes of the Cocoa domain that Vantor raises itself.
namespace CocoaCode {
inline constexpr qint64 fileNoSuchFile = 4;
inline constexpr qint64 fileReadNoPermission = 257;
inline constexpr qint64 fileReadUnknown = 256;
inline constexpr qint64 fileWriteNoPermission = 513;
inline constexpr qint64 fileWriteUnknown = 512;
inline constexpr qint64 fileWriteOutOfSpace = 640;
inline constexpr qint64 userCancelled = 3072;
} // namespace CocoaCode

// Codes of the URL domain.
namespace UrlCode {
inline constexpr qint64 unknown = -1;
inline constexpr qint64 cancelled = -999;
inline constexpr qint64 badUrl = -1000;
inline constexpr qint64 timedOut = -1001;
inline constexpr qint64 unsupportedUrl = -1002;
inline constexpr qint64 cannotFindHost = -1003;
inline constexpr qint64 cannotConnectToHost = -1004;
inline constexpr qint64 networkConnectionLost = -1005;
inline constexpr qint64 httpTooManyRedirects = -1007;
inline constexpr qint64 notConnectedToInternet = -1009;
inline constexpr qint64 badServerResponse = -1011;
inline constexpr qint64 userAuthenticationRequired = -1013;
inline constexpr qint64 insecureRedirect = -1022;
inline constexpr qint64 secureConnectionFailed = -1200;
} // namespace UrlCode

// The ways a platform failure is built where it happens.
namespace PlatformErrors {

// An errno value, with the path or operation it concerns in front of the system's text.
PlatformError posix(int errnum, const QString &what = {});

// A failed read or write of a file: lack of permission becomes the Cocoa permission codes,
// a full disk the Cocoa out-of-space code, anything else the generic read/write code.
PlatformError fileRead(const QString &path, int errnum);
PlatformError fileWrite(const QString &path, int errnum);

} // namespace PlatformErrors
