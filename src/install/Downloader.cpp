#include "install/Downloader.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "install/DiskWriter.h"
#include "platform/AddressPolicy.h"
#include "platform/FileOps.h"
#include "platform/NetworkError.h"

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

Downloader::Downloader(QNetworkAccessManager &network, QObject *parent, std::chrono::milliseconds silenceTimeout)
    : QObject(parent)
    , m_network(network)
    , m_silenceTimeout(silenceTimeout)
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
    for (int attempt = 0; !complete; ++attempt) {
        if (have > 0 && onResume)
            onResume(have);
        QNetworkRequest request(from);
        request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vantor"));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
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
        std::optional<QUrl> refusedRedirect;
        bool tooLarge = false;
        bool started = false; // the first bytes of this answer have been looked at
        qint64 announced = -1;
        m_sampler = SpeedSampler();

        QTimer silence;
        silence.setSingleShot(true);
        silence.setInterval(m_silenceTimeout);
        QObject::connect(&silence, &QTimer::timeout, reply, [&] {
            abortReason = NetworkError::AbortReason::timedOut;
            NetworkError::abortSoon(reply);
        });
        // Never from https to http, and never off the loopback host over plain http. The reply
        // already names the new address when it announces the redirect, so the hop's origin is
        // tracked here.
        QUrl current = from;
        QObject::connect(reply, &QNetworkReply::redirected, reply, [&](const QUrl &next) {
            if (!AddressPolicy::mayRedirect(current, next)) {
                refusedRedirect = next;
                NetworkError::abortSoon(reply);
                return;
            }
            current = next;
            Q_EMIT reply->redirectAllowed();
        });
        const auto take = [&](QByteArray chunk) {
            if (!started) {
                started = true;
                const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                if (have > 0 && status == 200) {
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
            silence.start();
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
        silence.start();

        if (m_cancelled) // cancel() may have come while the file was being opened
            NetworkError::abortSoon(reply);
        co_await qCoro(reply).waitForFinished();
        // What Qt still holds once the transfer is over.
        while (!m_cancelled && !tooLarge && !writer->failed() && reply->bytesAvailable() > 0) {
            if (!writer->hasRoom())
                co_await qCoro(writer.get(), &DiskWriter::roomAvailable);
            pump();
        }
        silence.stop();

        if (m_cancelled)
            throw Cancelled{};
        if (writer->failed())
            co_await writer->drained(); // throws the write's failure
        if (refusedRedirect)
            throw insecureAddress(*refusedRedirect);
        if (tooLarge)
            throw FriendlyError(
                QStringLiteral("The downloaded file is the wrong size, so it may be incomplete. Please try again."),
                QStringLiteral("Expected %1 bytes, got more.").arg(m_expectedSize));

        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid() && status.toInt() >= 400 && status.toInt() != 416) {
            const QString code = QString::number(status.toInt());
            const QString finalUrl = reply->url().isEmpty() ? QStringLiteral("?") : reply->url().toString();
            throw FriendlyError(
                QStringLiteral("The download was refused by the server (error %1). The file may have been moved.")
                    .arg(code),
                QStringLiteral("HTTP %1 for %2").arg(code, finalUrl));
        }
        // A connection that dropped mid-body (or a body shorter than announced) is tried again
        // from where it stopped, a few times, waiting longer each time.
        const bool cutShort = reply->error() == QNetworkReply::NoError && announced > 0 && received < have + announced;
        const bool dropped = isDrop(reply->error()) || cutShort;
        if (dropped && attempt < m_retryDelays.size() && received > 0 && !validator.isEmpty()) {
            qCDebug(lcDownload) << "connection dropped at" << received << "; trying again";
            co_await QCoro::sleepFor(m_retryDelays[attempt]);
            if (m_cancelled)
                throw Cancelled{};
            have = received;
            continue;
        }
        if (status.toInt() == 416 && have > 0 && attempt < m_retryDelays.size()) {
            // The kept part does not fit the server's file: start over.
            writer->restart();
            have = received = 0;
            continue;
        }
        if (reply->error() != QNetworkReply::NoError || status.toInt() == 416)
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
