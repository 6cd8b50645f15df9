#pragma once

#include "install/SpeedSampler.h"

#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class HttpTransfer;
class QNetworkAccessManager;

// Fetches one release file to a path of the caller's choosing, streaming the body to a
// partial file beside it, with progress and a smoothed speed. One object serves one download.
//
// The bytes never pass through the main thread: one worker thread receives them (libcurl),
// writes them in 1 MiB writes and hands them to the hash beside it; the main thread sees only
// progress, at most progressPerSecond times a second, and the end of each request, where it
// decides on redirects, retries and errors.
class Downloader : public QObject
{
    Q_OBJECT

public:
    // A download is stalled when it averages under 1 KiB/s over the last minute.
    static constexpr std::chrono::milliseconds defaultStallWindow{60'000};
    static constexpr qint64 stallBytesPerSecond = 1024;
    // How often progress reaches the main thread at most (the last figure always does).
    static constexpr int progressPerSecond = 20;

    using Progress = std::function<void(qint64 written, qint64 expected, double speed)>;

    // stallWindow: how long the download may average under stallBytesPerSecond before it counts
    // as stalled; it is then resumed as after a dropped connection, or fails as timed out.
    // The network manager is the caller's for everything else; the download has a network
    // stack of its own on its worker thread (libcurl, which takes a proxy from the environment).
    explicit Downloader(QNetworkAccessManager &network, QObject *parent = nullptr,
                        std::chrono::milliseconds stallWindow = defaultStallWindow);
    ~Downloader() override;

    // Called on every progress event with the bytes written, the total the server announced
    // (-1 when it announced none) and the current speed. Set before download().
    Progress onProgress;

    // Gives `to` once the whole file is there. Throws Cancelled after cancel(), FriendlyError
    // for a refused or insecure address, PlatformError for network and file failures. Nothing
    // reaches `to` unless the download succeeded.
    QCoro::Task<QString> download(QUrl from, QString to);

    // The size the release record publishes: the download stops with the wrong-size error as
    // soon as more arrives. 0 or less: no limit.
    void setExpectedSize(qint64 bytes) { m_expectedSize = bytes; }

    // Keeps the partial file (and what identifies the server's copy) when the download fails or
    // is cancelled, and resumes from it the next time the same `to` is downloaded.
    void setKeepPartial(bool keep) { m_keepPartial = keep; }
    // The waits before each retry after a dropped connection (1 s, 2 s, 4 s by default).
    void setRetryDelays(QList<std::chrono::milliseconds> delays) { m_retryDelays = std::move(delays); }
    // Called when a download continues from kept bytes, with their count.
    std::function<void(qint64 offset)> onResume;
    // Whether the file is hashed as it arrives (on by default). Off when no checksum will be
    // compared: the download then costs no more than writing the file.
    void setHashing(bool on) { m_hashing = on; }
    // The SHA-256 of the whole file, hashed as it arrived; set when download() succeeds with
    // hashing on, empty otherwise.
    const QString &sha256() const { return m_sha256; }

    // The TLS settings of the request (tests trust their own certificate this way).
    void setSslConfiguration(const QSslConfiguration &configuration) { m_ssl = configuration; }

    // Stops the download; the waiting download() throws Cancelled.
    void cancel();
    // The same, for an owner that is going away: the download ends without touching this object
    // again, whenever its worker notices.
    void stopNow();

    // Whether an address may be fetched: https, or plain http on a loopback host (tests, demo).
    static bool isAllowedAddress(const QUrl &url);

private:
    std::shared_ptr<HttpTransfer> m_transfer; // the request running now, if any
    // False once this object is gone: a download resuming after that touches nothing of it.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::chrono::milliseconds m_stallWindow;
    std::optional<QSslConfiguration> m_ssl;
    qint64 m_expectedSize = 0;
    bool m_keepPartial = false;
    bool m_hashing = true;
    QList<std::chrono::milliseconds> m_retryDelays{std::chrono::seconds(1), std::chrono::seconds(2),
                                                   std::chrono::seconds(4)};
    QString m_sha256;
    bool m_cancelled = false;
    SpeedSampler m_sampler;
};
