#include "release/HttpGet.h"

#include "base/FriendlyError.h"
#include "platform/AddressPolicy.h"
#include "platform/NetworkError.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>

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

namespace {

// One request, its redirect not followed; fails as timed out when `deadline` passes.
QCoro::Task<Response> once(QNetworkAccessManager &network, QUrl url, qint64 maxBytes, QDeadlineTimer deadline,
                           Headers headers)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vantor"));
    request.setRawHeader("Accept", "application/vnd.github+json");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);

    QNetworkReply *reply = network.get(request);
    Response response;
    auto abortReason = NetworkError::AbortReason::none;

    // The whole request has one deadline: a server that trickles a byte now and then must not
    // hold the check for ever.
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(std::max<qint64>(0, deadline.remainingTime()));
    QObject::connect(&timer, &QTimer::timeout, reply, [&] {
        abortReason = NetworkError::AbortReason::timedOut;
        NetworkError::abortSoon(reply);
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
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
    auto cleanup = qScopeGuard([reply] {
        reply->disconnect();
        reply->deleteLater();
    });
    timer.start();
    co_await qCoro(reply).waitForFinished();
    timer.stop();

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

// Scheme, host and port: another port on the same host is another server.
bool sameOrigin(const QUrl &a, const QUrl &b)
{
    const auto port = [](const QUrl &u) { return u.port(u.scheme() == QStringLiteral("https") ? 443 : 80); };
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && port(a) == port(b);
}

} // namespace

QCoro::Task<Response> get(QNetworkAccessManager &network, QUrl url, qint64 maxBytes, AddressPolicy::Hosts hosts,
                          std::chrono::milliseconds deadline, Headers headers)
{
    if (!AddressPolicy::isAllowed(url))
        throw FriendlyError(QStringLiteral("The address isn't a secure (https) address, so Vantor didn't use it."),
                            url.toString());
    const QDeadlineTimer until(deadline);
    Headers withoutToken;
    for (const auto &header : headers) {
        if (header.first.compare("Authorization", Qt::CaseInsensitive) != 0)
            withoutToken.append(header);
    }
    QUrl current = url;
    for (int hops = 0;; ++hops) {
        auto fetching = once(network, current, maxBytes, until, sameOrigin(current, url) ? headers : withoutToken);
        Response response = co_await std::move(fetching);
        const QByteArray location = response.header("Location");
        if (!AddressPolicy::isRedirect(response.status) || location.isEmpty())
            co_return response;
        current = AddressPolicy::nextHop(url, current, location, hops, hosts);
    }
}

} // namespace HttpGet
