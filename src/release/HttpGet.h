#pragma once

#include <QByteArray>
#include <QUrl>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// One GET request of the feed's kind: Vantor's User-Agent, GitHub's JSON media type, and a
// 20-second limit on silence. Reads at most maxBytes of the body.
namespace HttpGet {

inline constexpr int timeoutMs = 20'000;

struct Response
{
    int status = 0; // HTTP status; 0 when the reply was not HTTP
    QByteArray body; // at most maxBytes
    bool truncated = false; // the body was longer than maxBytes and was not read further
};

// Throws PlatformError for a transport failure (no connection, time-out, unknown host...).
// An HTTP error status is not a failure here: it comes back in Response::status.
QCoro::Task<Response> get(QNetworkAccessManager &network, QUrl url, qint64 maxBytes);

} // namespace HttpGet
