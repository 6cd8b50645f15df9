#include "release/HttpGet.h"

#include "base/FriendlyError.h"
#include "platform/AddressPolicy.h"
#include "platform/NetworkError.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QTimer>

#include <qcoro/qcoronetworkreply.h>

namespace HttpGet {

QByteArray Response::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QCoro::Task<Response> get(QNetworkAccessManager &network, QUrl url, qint64 maxBytes,
                          std::chrono::milliseconds silenceTimeout, Headers headers)
{
    if (!AddressPolicy::isAllowed(url))
        throw FriendlyError(QStringLiteral("The address isn't a secure (https) address, so Vantor didn't use it."),
                            url.toString());
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vantor"));
    request.setRawHeader("Accept", "application/vnd.github+json");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    bool withToken = false;
    for (const auto &[name, value] : headers) {
        request.setRawHeader(name, value);
        withToken |= name.compare("Authorization", Qt::CaseInsensitive) == 0;
    }

    QNetworkReply *reply = network.get(request);
    Response response;
    auto abortReason = NetworkError::AbortReason::none;

    // The limit is on silence, like the platform's request timeout: every arriving byte
    // restarts it.
    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(silenceTimeout);
    QObject::connect(&silence, &QTimer::timeout, reply, [&] {
        abortReason = NetworkError::AbortReason::timedOut;
        NetworkError::abortSoon(reply);
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        silence.start();
        if (response.truncated) {
            reply->readAll(); // the abort is on its way; what still arrives is not wanted
            return;
        }
        response.body += reply->read(maxBytes + 1 - response.body.size());
        if (response.body.size() > maxBytes) {
            response.body.truncate(maxBytes);
            response.truncated = true;
            NetworkError::abortSoon(reply);
        }
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] { silence.start(); });
    // The same rule as downloads; and the token never travels to another origin (scheme, host and
    // port: another port on the same host is another server).
    const auto sameOrigin = [](const QUrl &a, const QUrl &b) {
        const auto port = [](const QUrl &u) { return u.port(u.scheme() == QStringLiteral("https") ? 443 : 80); };
        return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && port(a) == port(b);
    };
    QUrl current = url;
    std::optional<QUrl> refused;
    std::optional<QUrl> elsewhere;
    QObject::connect(reply, &QNetworkReply::redirected, reply, [&](const QUrl &next) {
        if (!AddressPolicy::mayRedirect(current, next)) {
            refused = next;
            NetworkError::abortSoon(reply);
        } else if (withToken && !sameOrigin(next, url)) {
            elsewhere = next;
            NetworkError::abortSoon(reply);
        } else {
            current = next;
            Q_EMIT reply->redirectAllowed();
        }
    });
    auto cleanup = qScopeGuard([reply] {
        reply->disconnect();
        reply->deleteLater();
    });
    silence.start();

    co_await qCoro(reply).waitForFinished();
    silence.stop();
    if (refused)
        throw FriendlyError(QStringLiteral("The address isn't a secure (https) address, so Vantor didn't use it."),
                            refused->toString());
    if (elsewhere) {
        Headers without;
        for (const auto &header : headers) {
            if (header.first.compare("Authorization", Qt::CaseInsensitive) != 0)
                without.append(header);
        }
        auto moving = get(network, *elsewhere, maxBytes, silenceTimeout, without);
        Response moved = co_await std::move(moving);
        co_return moved;
    }

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const auto error = reply->error();
    if (error != QNetworkReply::NoError && !response.truncated
        && !(status.isValid() && NetworkError::isHttpStatusError(error)))
        throw NetworkError::fromReply(error, reply->errorString(), abortReason);

    if (!response.truncated)
        response.body += reply->read(maxBytes - response.body.size());
    response.status = status.isValid() ? status.toInt() : 0;
    response.headers = reply->rawHeaderPairs();
    co_return response;
}

} // namespace HttpGet
