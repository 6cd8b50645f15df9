#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <memory>

// A real HTTP server on a free loopback port, run in its own thread for the life of the
// object. Each path answers as configured: a status and body, a redirect, a body sent without
// a length, or slowly.
class TestServer
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
    };

    TestServer();
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    void route(const QString &path, Route route);
    void json(const QString &path, const QByteArray &body, int status = 200);
    void file(const QString &path, const QByteArray &body);

    // How often a path was asked for, and the headers of the last request to it.
    int hits(const QString &path) const;
    void resetHits();
    QByteArray lastHeader(const QString &path, const QByteArray &name) const;

    int port() const;
    QUrl url(const QString &path) const;
    QString urlText(const QString &path) const { return url(path).toString(); }

private:
    struct State;
    std::unique_ptr<State> m_state;
};
