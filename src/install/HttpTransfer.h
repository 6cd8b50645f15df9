#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QPair>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

// One HTTP GET through libcurl, run to its end on the calling thread: the downloader's worker
// receives, writes and hashes on one thread, with no hand-off per chunk (Qt's network stack
// passes every chunk from its own HTTP thread to the reply's). Redirects are not followed here:
// the caller judges each hop. Thread-safe only in stop(), which any thread may call.
class HttpTransfer
{
public:
    struct Request
    {
        QUrl url;
        QList<QPair<QByteArray, QByteArray>> headers; // sent as they are, User-Agent included
        // Certificates to trust instead of the system's (PEM), for a server of the tests' own.
        std::optional<QByteArray> trustedCertificates = {};
    };

    // What the server answered, as far as it got.
    struct Answer
    {
        int status = 0; // the final answer's HTTP status (0 when none came)
        qint64 contentLength = -1; // as announced, -1 when not
        QByteArray location;
        QByteArray etag;
        QByteArray lastModified;
        // The transport's failure, as Qt's network stack names it (NoError when none), and
        // libcurl's own words for it.
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        QString errorText;
        bool stopped = false; // by stop(), or by a callback that said no
    };

    // The body, piece by piece as it arrives; false stops the transfer. The answer's status and
    // headers are known by the first call.
    using Body = std::function<bool(const char *bytes, qint64 size, const Answer &answer)>;
    // Called between reads, at least every `tickEvery` while nothing arrives; false stops.
    using Tick = std::function<bool()>;

    HttpTransfer();
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer &) = delete;
    HttpTransfer &operator=(const HttpTransfer &) = delete;

    Answer run(const Request &request, const Body &body, const Tick &tick, std::chrono::milliseconds tickEvery);
    // Ends the running (or next) run() as soon as its thread notices, within a tick at most.
    void stop();

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
    std::atomic<bool> m_stop = false;
};
