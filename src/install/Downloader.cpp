#include "install/Downloader.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "install/DiskWriter.h"
#include "platform/AddressPolicy.h"
#include "platform/FileOps.h"
#include "platform/NetworkError.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QTimer>

#include <qcoro/qcorosignal.h>
#include <qcoro/qcorotimer.h>

#include <qcoro/qcoronetworkreply.h>

#include <algorithm>
#include <cerrno>

Q_LOGGING_CATEGORY(lcDownload, "vantor.download", QtWarningMsg)

namespace {

FriendlyError insecureAddress(const QUrl &url)
{
    return FriendlyError(
        QStringLiteral("The download address isn't a secure (https) address, so Vantor didn't use it."),
        url.toString());
}

} // namespace

Downloader::Downloader(QNetworkAccessManager &network, QObject *parent, std::chrono::milliseconds stallWindow)
    : QObject(parent)
    , m_network(network)
    , m_stallWindow(stallWindow)
{
}

Downloader::~Downloader()
{
    if (m_reply)
        m_reply->abort();
}

bool Downloader::isAllowedAddress(const QUrl &url)
{
    return AddressPolicy::isAllowed(url);
}

void Downloader::cancel()
{
    m_cancelled = true;
    if (m_reply)
        NetworkError::abortSoon(m_reply);
}

void Downloader::stopNow()
{
    m_cancelled = true;
    if (m_reply)
        m_reply->abort();
}

namespace {

// The connection went away mid-body: worth another try from where it stopped.
bool isDrop(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::UnknownNetworkError: return true;
    default: return false;
    }
}

// A regular file only: a planted link or FIFO gives nothing, and the download starts afresh.
QByteArray readSmallFile(const QString &path)
{
    return FileOps::readRegularFile(path, 4096).value_or(QByteArray());
}

} // namespace

QCoro::Task<QString> Downloader::download(QUrl from, QString to)
{
    if (m_cancelled)
        throw Cancelled{};
    if (!isAllowedAddress(from))
        throw insecureAddress(from);

    // A part kept from an earlier attempt is resumed when the server can tell it is the same
    // file (its ETag or Last-Modified, sent back as If-Range).
    const QString partialPath = to + QStringLiteral(".partial");
    const QString validatorPath = to + QStringLiteral(".partial-validator");
    qint64 have = 0;
    QByteArray validator;
    // Whatever is at those names and isn't a regular file (a planted link, say) is not ours:
    // removed, only itself, and the download starts afresh.
    for (const QString &own : {partialPath, validatorPath}) {
        const QFileInfo info(own);
        if (info.isSymLink() || (FileOps::exists(own) && !info.isFile() && !info.isDir()))
            FileOps::removeItem(own);
    }
    if (m_keepPartial && QFileInfo(partialPath).isFile()) {
        validator = readSmallFile(validatorPath).trimmed();
        have = validator.isEmpty() ? 0 : QFileInfo(partialPath).size();
    }
    // Every write and the hashing happen on the writer's thread; this side only queues.
    auto writer = std::make_unique<DiskWriter>(partialPath, m_hashing);
    writer->open(have);
    co_await writer->drained(); // a file that cannot be written fails before any request
    qint64 received = have; // bytes of the file queued for writing so far
    bool moved = false;
    auto removePartial = qScopeGuard([&] {
        writer.reset(); // closes the file first
        if (!moved && !m_keepPartial) {
            QFile::remove(partialPath);
            QFile::remove(validatorPath);
        }
    });

    // Every byte already kept (a run that stopped just before the file got its name): done.
    const bool complete = m_expectedSize > 0 && have == m_expectedSize;
    // Redirects are followed here, one hop at a time (AddressPolicy's rule; GitHub sends
    // downloads to another host). Each attempt starts again from the address asked for.
    QUrl current = from;
    int hops = 0;
    for (int attempt = 0; !complete; ++attempt) {
        if (have > 0 && onResume && hops == 0)
            onResume(have);
        QNetworkRequest request(current);
        request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vantor"));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        if (m_ssl)
            request.setSslConfiguration(*m_ssl);
        if (have > 0) {
            request.setRawHeader("Range", "bytes=" + QByteArray::number(have) + '-');
            request.setRawHeader("If-Range", validator);
        }
        QNetworkReply *reply = m_network.get(request);
        m_reply = reply;
        reply->setReadBufferSize(readBufferBytes);

        auto abortReason = NetworkError::AbortReason::none;
        bool tooLarge = false;
        bool stalled = false;
        bool started = false; // the first bytes of this answer have been looked at
        qint64 announced = -1;
        m_sampler = SpeedSampler();
        const auto status = [reply] { return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); };

        // Stalled: under stallBytesPerSecond on average over the last window, judged a few times
        // per window from what had arrived at each look.
        QTimer watch;
        watch.setInterval(std::max<qint64>(1, m_stallWindow.count() / 6));
        QElapsedTimer since;
        since.start();
        QList<QPair<qint64, qint64>> looks; // (ms since the request, bytes received)
        const qint64 receivedAtStart = received;
        const qint64 windowBytes = stallBytesPerSecond * m_stallWindow.count() / 1000;
        QObject::connect(&watch, &QTimer::timeout, reply, [&] {
            const qint64 now = since.elapsed();
            looks.append({now, received - receivedAtStart});
            while (looks.size() > 1 && looks[1].first <= now - m_stallWindow.count())
                looks.removeFirst();
            const qint64 before = looks.first().first <= now - m_stallWindow.count() ? looks.first().second : 0;
            if (now >= m_stallWindow.count() && received - receivedAtStart - before < windowBytes) {
                stalled = true;
                abortReason = NetworkError::AbortReason::timedOut;
                NetworkError::abortSoon(reply);
            }
        });
        const auto take = [&](QByteArray chunk) {
            if (AddressPolicy::isRedirect(status()))
                return; // a redirect's own body is not the file
            if (!started) {
                started = true;
                if (have > 0 && status() == 200) {
                    // The server sent the whole file again (no ranges, or a changed file).
                    writer->restart();
                    have = received = 0;
                }
                if (m_keepPartial && have == 0) {
                    QByteArray tag = reply->rawHeader("ETag");
                    if (tag.isEmpty() || tag.startsWith("W/"))
                        tag = reply->rawHeader("Last-Modified");
                    writer->writeSide(validatorPath, tag);
                    validator = tag;
                }
            }
            if (m_expectedSize > 0 && received + chunk.size() > m_expectedSize) {
                tooLarge = true; // an endless body must not fill the disk
                NetworkError::abortSoon(reply);
                return;
            }
            received += chunk.size();
            writer->write(std::move(chunk));
        };
        // Reads only while the writer has room: otherwise Qt's buffer fills, Qt stops reading
        // the socket, and the server waits for the disk.
        const auto pump = [&] {
            while (!tooLarge && writer->hasRoom() && reply->bytesAvailable() > 0) {
                if (writer->failed()) {
                    NetworkError::abortSoon(reply);
                    return;
                }
                take(reply->readAll()); // at most the reply's buffer: Qt hands its block over without a copy
            }
        };
        QObject::connect(reply, &QNetworkReply::readyRead, reply, pump);
        QObject::connect(writer.get(), &DiskWriter::roomAvailable, reply, pump);
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [&](qint64 written, qint64 expected) {
            if (AddressPolicy::isRedirect(status()))
                return;
            announced = expected;
            const double speed = m_sampler.update(written);
            if (onProgress)
                onProgress(have + written, expected > 0 ? have + expected : -1, speed);
        });
        auto releaseReply = qScopeGuard([&] {
            reply->disconnect();
            QObject::disconnect(writer.get(), nullptr, reply, nullptr);
            reply->deleteLater();
            m_reply = nullptr;
        });
        watch.start();

        if (m_cancelled) // cancel() may have come while the file was being opened
            NetworkError::abortSoon(reply);
        co_await qCoro(reply).waitForFinished();
        // What Qt still holds once the transfer is over.
        while (!m_cancelled && !tooLarge && !writer->failed() && reply->bytesAvailable() > 0) {
            if (!writer->hasRoom())
                co_await qCoro(writer.get(), &DiskWriter::roomAvailable);
            pump();
        }
        watch.stop();

        if (m_cancelled)
            throw Cancelled{};
        if (writer->failed())
            co_await writer->drained(); // throws the write's failure
        if (const QByteArray location = reply->rawHeader("Location");
            AddressPolicy::isRedirect(status()) && !location.isEmpty() && !stalled) {
            current = AddressPolicy::nextHop(from, current, location, hops++, AddressPolicy::Hosts::any);
            --attempt; // a hop is not another try
            continue;
        }
        current = from;
        hops = 0;
        if (tooLarge)
            throw FriendlyError(
                QStringLiteral("The downloaded file is the wrong size, so it may be incomplete. Please try again."),
                QStringLiteral("Expected %1 bytes, got more.").arg(m_expectedSize));

        if (status() >= 400 && status() != 416) {
            const QString code = QString::number(status());
            const QString finalUrl = reply->url().isEmpty() ? QStringLiteral("?") : reply->url().toString();
            throw FriendlyError(
                QStringLiteral("The download was refused by the server (error %1). The file may have been moved.")
                    .arg(code),
                QStringLiteral("HTTP %1 for %2").arg(code, finalUrl));
        }
        // A connection that dropped mid-body (or a body shorter than announced) is tried again
        // from where it stopped, a few times, waiting longer each time.
        const bool cutShort = reply->error() == QNetworkReply::NoError && announced > 0 && received < have + announced;
        const bool dropped = isDrop(reply->error()) || cutShort || stalled;
        if (dropped && attempt < m_retryDelays.size() && received > 0 && !validator.isEmpty()) {
            qCDebug(lcDownload) << "connection dropped at" << received << "; trying again";
            co_await QCoro::sleepFor(m_retryDelays[attempt]);
            if (m_cancelled)
                throw Cancelled{};
            have = received;
            continue;
        }
        if (status() == 416 && have > 0 && attempt < m_retryDelays.size()) {
            // The kept part does not fit the server's file: start over.
            writer->restart();
            have = received = 0;
            continue;
        }
        if (reply->error() != QNetworkReply::NoError || status() == 416)
            throw NetworkError::fromReply(reply->error(), reply->errorString(), abortReason);
        break;
    }

    writer->finish(to, validatorPath);
    co_await writer->drained();
    moved = true;
    m_sha256 = writer->sha256();
    qCDebug(lcDownload) << "downloaded" << from << "to" << to;
    co_return to;
}
