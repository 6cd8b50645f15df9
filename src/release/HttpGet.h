#pragma once

#include "platform/AddressPolicy.h"

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QPair>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>

class QNetworkAccessManager;

// One GET request of the feed's kind: Vantor's User-Agent, GitHub's JSON media type, and a
// 30-second deadline for the whole request, redirects included. Reads at most maxBytes of the body.
namespace HttpGet {

inline constexpr std::chrono::milliseconds defaultDeadline{30'000};

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
// deadline: how long the whole request may take before it fails as timed out.
// Addresses and redirects follow AddressPolicy (https, or plain http on loopback; `hosts` says
// whether a redirect may lead to another host): anything else throws FriendlyError. An
// Authorization header goes only to the origin asked for (scheme, host and port).
QCoro::Task<Response> get(QNetworkAccessManager &network, QUrl url, qint64 maxBytes,
                          AddressPolicy::Hosts hosts = AddressPolicy::Hosts::same,
                          std::chrono::milliseconds deadline = defaultDeadline, Headers headers = {});

} // namespace HttpGet
