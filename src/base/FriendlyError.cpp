#include "base/FriendlyError.h"

#include "base/PlatformError.h"

#include <algorithm>
#include <array>
#include <cerrno>

namespace {

const QString internetMessage
    = QStringLiteral("Can't reach the internet right now. Check your connection and try again.");
const QString diskFullMessage = QStringLiteral("Your disk is full. Free up some space and try again.");
const QString permissionMessage
    = QStringLiteral("Vantor doesn't have permission to do that. Try the other install location, or check the "
                     "folder's permissions.");

constexpr std::array<qint64, 6> offlineCodes = {
    UrlCode::notConnectedToInternet, -1006 /* DNS lookup failed */, UrlCode::networkConnectionLost,
    UrlCode::cannotConnectToHost,    UrlCode::cannotFindHost,       UrlCode::timedOut,
};

QString messageFor(const PlatformError &error, const QString &context)
{
    const bool offline = std::find(offlineCodes.begin(), offlineCodes.end(), error.code) != offlineCodes.end();
    if (error.domain == ErrorDomain::url && offline)
        return internetMessage;
    if (error.domain == ErrorDomain::cocoa && error.code == CocoaCode::fileWriteOutOfSpace)
        return diskFullMessage;
    if (error.domain == ErrorDomain::posix && error.code == 28 /* ENOSPC */)
        return diskFullMessage;
    if (error.domain == ErrorDomain::cocoa
        && (error.code == CocoaCode::fileWriteNoPermission || error.code == CocoaCode::fileReadNoPermission))
        return permissionMessage;
    return context + QStringLiteral(" didn't work.");
}

// Describes a thrown value that is neither a FriendlyError nor a PlatformError in the same
// three parts, so that one table handles every failure.
PlatformError describe(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const PlatformError &e) {
        return e;
    } catch (const Cancelled &) {
        return {ErrorDomain::cocoa, CocoaCode::userCancelled, QStringLiteral("The operation was cancelled.")};
    } catch (const std::exception &e) {
        return {QStringLiteral("Vantor"), 0, QString::fromLocal8Bit(e.what())};
    } catch (...) {
        return {QStringLiteral("Vantor"), 0, QStringLiteral("An unknown error occurred.")};
    }
}

} // namespace

FriendlyError::FriendlyError(QString message_, QString details_)
    : id(QUuid::createUuid())
    , message(std::move(message_))
    , details(std::move(details_))
{
}

FriendlyError FriendlyError::from(const PlatformError &error, const QString &context)
{
    const QString details = context + QLatin1Char('\n') + error.domain + QStringLiteral(" code ")
                            + QString::number(error.code) + QLatin1Char('\n') + error.description;
    return FriendlyError(messageFor(error, context), details);
}

void FriendlyError::rethrowForAppChange(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const PlatformError &e) {
        if (e.errnum != EPERM)
            throw;
        throw FriendlyError(QStringLiteral("macOS didn't let Vantor change the OpenEmu app. Allow Vantor in System "
                                           "Settings › Privacy & Security › App Management, then try again."),
                            e.domain + QStringLiteral(" code ") + QString::number(e.code) + QLatin1Char('\n')
                                + e.description);
    }
}

FriendlyError FriendlyError::from(std::exception_ptr error, const QString &context)
{
    try {
        std::rethrow_exception(error);
    } catch (const FriendlyError &e) {
        return e;
    } catch (...) {
        return from(describe(std::current_exception()), context);
    }
}
