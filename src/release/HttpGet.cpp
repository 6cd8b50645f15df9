#include "release/HttpGet.h"

#include "platform/NetworkError.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QTimer>

#include <qcoro/qcoronetworkreply.h>

namespace HttpGet {

QCoro::Task<Response> get(QNetworkAccessManager &network, QUrl url, qint64 maxBytes,
                          std::chrono::milliseconds silenceTimeout)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vantor"));
    request.setRawHeader("Accept", "application/vnd.github+json");

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
    auto cleanup = qScopeGuard([reply] {
        reply->disconnect();
        reply->deleteLater();
    });
    silence.start();

    co_await qCoro(reply).waitForFinished();
    silence.stop();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const auto error = reply->error();
    if (error != QNetworkReply::NoError && !response.truncated
        && !(status.isValid() && NetworkError::isHttpStatusError(error)))
        throw NetworkError::fromReply(error, reply->errorString(), abortReason);

    if (!response.truncated)
        response.body += reply->read(maxBytes - response.body.size());
    response.status = status.isValid() ? status.toInt() : 0;
    co_return response;
}

} // namespace HttpGet
