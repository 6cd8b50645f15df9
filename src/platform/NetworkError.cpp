#include "platform/NetworkError.h"

#include <QTimer>

namespace NetworkError {

namespace {

qint64 urlCode(QNetworkReply::NetworkError error, AbortReason abortReason)
{
    using E = QNetworkReply::NetworkError;
    switch (error) {
    case E::ConnectionRefusedError:
    case E::ProxyConnectionRefusedError: return UrlCode::cannotConnectToHost;
    case E::RemoteHostClosedError:
    case E::ProxyConnectionClosedError: return UrlCode::networkConnectionLost;
    case E::HostNotFoundError:
    case E::ProxyNotFoundError: return UrlCode::cannotFindHost;
    case E::TimeoutError:
    case E::ProxyTimeoutError: return UrlCode::timedOut;
    case E::OperationCanceledError:
        return abortReason == AbortReason::timedOut ? UrlCode::timedOut : UrlCode::cancelled;
    case E::SslHandshakeFailedError: return UrlCode::secureConnectionFailed;
    case E::TemporaryNetworkFailureError:
    case E::NetworkSessionFailedError: return UrlCode::notConnectedToInternet;
    case E::TooManyRedirectsError: return UrlCode::httpTooManyRedirects;
    case E::InsecureRedirectError: return UrlCode::insecureRedirect;
    case E::ProxyAuthenticationRequiredError:
    case E::AuthenticationRequiredError: return UrlCode::userAuthenticationRequired;
    case E::ProtocolUnknownError: return UrlCode::unsupportedUrl;
    case E::ProtocolInvalidOperationError:
    case E::ProtocolFailure: return UrlCode::badServerResponse;
    default: return isHttpStatusError(error) ? UrlCode::badServerResponse : UrlCode::unknown;
    }
}

} // namespace

PlatformError fromReply(QNetworkReply::NetworkError error, const QString &errorString, AbortReason abortReason)
{
    QString description = errorString;
    if (error == QNetworkReply::OperationCanceledError && abortReason == AbortReason::timedOut)
        description = QStringLiteral("The request timed out.");
    return {ErrorDomain::url, urlCode(error, abortReason), description};
}

bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
           || (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

void abortSoon(QNetworkReply *reply)
{
    QTimer::singleShot(0, reply, &QNetworkReply::abort);
}

} // namespace NetworkError
