#include "install/Downloader.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "platform/FileOps.h"
#include "platform/NetworkError.h"

#include <QFile>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QTimer>

#include <qcoro/qcoronetworkreply.h>

#include <cerrno>

Q_LOGGING_CATEGORY(lcDownload, "vantor.download", QtWarningMsg)

namespace {

bool isLoopback(const QUrl &url)
{
    const QString host = url.host();
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

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
    const QString scheme = url.scheme().toLower();
    return scheme == QStringLiteral("https") || (scheme == QStringLiteral("http") && isLoopback(url));
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

QCoro::Task<QString> Downloader::download(QUrl from, QString to)
{
    if (m_cancelled)
        throw Cancelled{};
    if (!isAllowedAddress(from))
        throw insecureAddress(from);

    const QString partialPath = to + QStringLiteral(".partial");
    QFile partial(partialPath);
    if (!partial.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw PlatformErrors::fileWrite(partialPath, errno);
    bool moved = false;
    auto removePartial = qScopeGuard([&] {
        partial.close();
        if (!moved)
            QFile::remove(partialPath);
    });

    QNetworkRequest request(from);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vantor"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    if (m_ssl)
        request.setSslConfiguration(*m_ssl);
    QNetworkReply *reply = m_network.get(request);
    m_reply = reply;
    reply->setReadBufferSize(readBufferBytes);

    auto abortReason = NetworkError::AbortReason::none;
    std::optional<PlatformError> writeError;
    std::optional<QUrl> refusedRedirect;
    qint64 received = 0;
    bool tooLarge = false;
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
        const bool downgrade = current.scheme().toLower() == QStringLiteral("https")
                               && next.scheme().toLower() != QStringLiteral("https");
        if (downgrade || !isAllowedAddress(next)) {
            refusedRedirect = next;
            NetworkError::abortSoon(reply);
            return;
        }
        current = next;
        Q_EMIT reply->redirectAllowed();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        silence.start();
        const QByteArray chunk = reply->readAll();
        if (writeError || tooLarge)
            return;
        received += chunk.size();
        if (m_expectedSize > 0 && received > m_expectedSize) {
            tooLarge = true; // an endless body must not fill the disk
            NetworkError::abortSoon(reply);
            return;
        }
        if (partial.write(chunk) != chunk.size()) {
            writeError = PlatformErrors::fileWrite(partialPath, errno ? errno : EIO);
            NetworkError::abortSoon(reply);
        }
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [&](qint64 written, qint64 expected) {
        const double speed = m_sampler.update(written);
        if (onProgress)
            onProgress(written, expected, speed);
    });
    auto releaseReply = qScopeGuard([&] {
        reply->disconnect();
        reply->deleteLater();
        m_reply = nullptr;
    });
    silence.start();

    if (m_cancelled) // cancel() may have come while the file was being opened
        NetworkError::abortSoon(reply);
    co_await qCoro(reply).waitForFinished();
    silence.stop();

    if (m_cancelled)
        throw Cancelled{};
    if (writeError)
        throw *writeError;
    if (refusedRedirect)
        throw insecureAddress(*refusedRedirect);
    if (tooLarge)
        throw FriendlyError(
            QStringLiteral("The downloaded file is the wrong size, so it may be incomplete. Please try again."),
            QStringLiteral("Expected %1 bytes, got more.").arg(m_expectedSize));

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() >= 400) {
        const QString code = QString::number(status.toInt());
        const QString finalUrl = reply->url().isEmpty() ? QStringLiteral("?") : reply->url().toString();
        throw FriendlyError(
            QStringLiteral("The download was refused by the server (error %1). The file may have been moved.")
                .arg(code),
            QStringLiteral("HTTP %1 for %2").arg(code, finalUrl));
    }
    if (reply->error() != QNetworkReply::NoError)
        throw NetworkError::fromReply(reply->error(), reply->errorString(), abortReason);

    if (!partial.flush())
        throw PlatformErrors::fileWrite(partialPath, errno ? errno : EIO);
    partial.close();
    FileOps::removeItem(to);
    FileOps::moveItem(partialPath, to);
    moved = true;
    qCDebug(lcDownload) << "downloaded" << from << "to" << to;
    co_return to;
}
