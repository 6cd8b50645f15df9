#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// A real HTTP server on a free loopback port, run in its own thread for the life of the
// object: the demo's release feed, and the tests' server. Each path answers as configured: a
// status and body, a redirect, a body sent without a length, or slowly.
class FeedServer
{
public:
    struct Route
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/octet-stream";
        QString redirectTo; // when set, answers 302 with this Location
        bool withoutLength = false; // chunked, so no Content-Length is announced
        int chunkBytes = 64 * 1024;
        int delayPerChunkMs = 0; // pause before each chunk
        qint64 dropAfterBytes = -1; // the first answer closes the connection after this many bytes
        bool ignoreRanges = false; // answer a Range request with the whole file (200)
        bool paceRanges = false; // a slow route's Range answers are slow too (else at full speed)
        QList<QPair<QByteArray, QByteArray>> headers = {}; // more reply headers

        // A body sent in chunks of `chunkBytes`, with a pause before each.
        static Route slowly(QByteArray body, int chunkBytes, int delayPerChunkMs)
        {
            Route route;
            route.body = std::move(body);
            route.chunkBytes = chunkBytes;
            route.delayPerChunkMs = delayPerChunkMs;
            return route;
        }
    };

    // Plain http, or https with this certificate and key (PEM) when both are given.
    FeedServer(const QByteArray &certificatePem = {}, const QByteArray &keyPem = {});
    ~FeedServer();
    FeedServer(const FeedServer &) = delete;
    FeedServer &operator=(const FeedServer &) = delete;

    void route(const QString &path, Route route);
    // A path whose answer is chosen at each request (called on the server's thread).
    void dynamic(const QString &path, std::function<Route()> answer);
    std::optional<Route> routeOf(const QString &path) const;
    void json(const QString &path, const QByteArray &body, int status = 200);
    void file(const QString &path, const QByteArray &body);

    // How often a path was asked for, and the headers of the last request to it.
    int hits(const QString &path) const;
    void resetHits();
    QByteArray lastHeader(const QString &path, const QByteArray &name) const;

    // The Range headers of the requests to a path, in order.
    QStringList rangeRequests(const QString &path) const;

    int port() const;
    QUrl url(const QString &path) const;
    QString urlText(const QString &path) const { return url(path).toString(); }

private:
    struct State;
    std::unique_ptr<State> m_state;
};
