#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QPair>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>

class QNetworkAccessManager;

// One GET request of the feed's kind: Vantor's User-Agent, GitHub's JSON media type, and a
// 20-second limit on silence. Reads at most maxBytes of the body.
namespace HttpGet {

inline constexpr std::chrono::milliseconds defaultSilenceTimeout{20'000};

struct Response
{
    int status = 0; // HTTP status; 0 when the reply was not HTTP
    QByteArray body; // at most maxBytes
    bool truncated = false; // the body was longer than maxBytes and was not read further
    QList<QNetworkReply::RawHeaderPair> headers; // the reply's headers
    QByteArray header(const QByteArray &name) const;
};

// Extra request headers (If-None-Match, Authorization).
using Headers = QList<QPair<QByteArray, QByteArray>>;

// Throws PlatformError for a transport failure (no connection, time-out, unknown host...).
// An HTTP error status is not a failure here: it comes back in Response::status.
// silenceTimeout: how long the server may send nothing before the request fails as timed out.
// Addresses follow the downloads' rule (https, or plain http on loopback; never a redirect from
// https to http): anything else throws FriendlyError. An Authorization header goes only to the
// host asked for: a redirect to another host is followed without it.
QCoro::Task<Response> get(QNetworkAccessManager &network, QUrl url, qint64 maxBytes,
                          std::chrono::milliseconds silenceTimeout = defaultSilenceTimeout, Headers headers = {});

} // namespace HttpGet
