#include "install/Downloader.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "install/DiskWriter.h"
#include "install/HttpTransfer.h"
#include "platform/AddressPolicy.h"
#include "platform/FileOps.h"
#include "platform/NetworkError.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QSslCertificate>

#include <qcoro/qcorotimer.h>

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

Downloader::Downloader(QNetworkAccessManager &, QObject *parent, std::chrono::milliseconds stallWindow)
    : QObject(parent)
    , m_stallWindow(stallWindow)
{
}

Downloader::~Downloader()
{
    *m_alive = false;
    if (m_transfer)
        m_transfer->stop();
}

bool Downloader::isAllowedAddress(const QUrl &url)
{
    return AddressPolicy::isAllowed(url);
}

void Downloader::cancel()
{
    m_cancelled = true;
    if (m_transfer)
        m_transfer->stop();
}

void Downloader::stopNow()
{
    onProgress = nullptr;
    onResume = nullptr;
    cancel();
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

// What an earlier attempt kept: read on the worker's thread, like every other touch of the disk.
struct Kept
{
    qint64 have = 0;
    QByteArray validator;
};

// One request's outcome, filled on the worker's thread and read on the main thread once the
// worker is idle again.
struct Attempt
{
    HttpTransfer::Answer answer;
    qint64 received = 0; // bytes of the file taken so far, over every attempt
    qint64 have = 0; // what this request asked to continue from (0 after a restart)
    QByteArray validator;
    bool started = false; // the first bytes of this answer have been looked at
    bool tooLarge = false;
    bool stalled = false;
};

} // namespace

QCoro::Task<QString> Downloader::download(QUrl from, QString to)
{
    if (m_cancelled)
        throw Cancelled{};
    if (!isAllowedAddress(from))
        throw insecureAddress(from);
    const std::shared_ptr<bool> alive = m_alive;
    // After every wait: an owner that went away meanwhile is not touched again.
    const auto stopIfGone = [&alive] {
        if (!*alive)
            throw Cancelled{};
    };

    // A part kept from an earlier attempt is resumed when the server can tell it is the same
    // file (its ETag or Last-Modified, sent back as If-Range).
    const QString partialPath = to + QStringLiteral(".partial");
    const QString validatorPath = to + QStringLiteral(".partial-validator");
    const bool keepPartial = m_keepPartial;
    // Every touch of the disk, the receiving and the hashing happen on the writer's threads;
    // this side only decides.
    auto writer = std::make_unique<DiskWriter>(partialPath, m_hashing);
    auto kept = std::make_shared<Kept>();
    writer->run([kept, partialPath, validatorPath, keepPartial](DiskWriter::Appender &) {
        // Whatever is at those names and isn't a regular file (a planted link, say) is not ours:
        // removed, only itself, and the download starts afresh.
        for (const QString &own : {partialPath, validatorPath}) {
            const QFileInfo info(own);
            if (info.isSymLink() || (FileOps::exists(own) && !info.isFile() && !info.isDir()))
                FileOps::removeItem(own);
        }
        if (keepPartial && QFileInfo(partialPath).isFile()) {
            kept->validator = readSmallFile(validatorPath).trimmed();
            kept->have = kept->validator.isEmpty() ? 0 : QFileInfo(partialPath).size();
        }
    });
    auto drained1 = writer->drained();
    co_await std::move(drained1);
    stopIfGone();
    qint64 have = kept->have;
    QByteArray validator = kept->validator;
    writer->open(have);
    auto drained2 = writer->drained(); // a file that cannot be written fails before any request
    co_await std::move(drained2);
    stopIfGone();
    qint64 received = have; // bytes of the file taken so far
    bool moved = false;
    auto removePartial = qScopeGuard([&] {
        writer.reset(); // closes the file first
        if (!moved && !keepPartial) {
            QFile::remove(partialPath);
            QFile::remove(validatorPath);
        }
    });

    std::optional<QByteArray> trusted;
    if (m_ssl) {
        trusted = QByteArray();
        for (const QSslCertificate &certificate : m_ssl->caCertificates())
            *trusted += certificate.toPem();
    }

    // Every byte already kept (a run that stopped just before the file got its name): done.
    const bool complete = m_expectedSize > 0 && have == m_expectedSize;
    // Redirects are followed here, one hop at a time (AddressPolicy's rule; GitHub sends
    // downloads to another host). Each attempt starts again from the address asked for.
    QUrl current = from;
    int hops = 0;
    for (int attempt = 0; !complete; ++attempt) {
        if (have > 0 && onResume && hops == 0)
            onResume(have);
        HttpTransfer::Request request{current, {{"User-Agent", "Vantor"}}, trusted};
        if (have > 0) {
            request.headers.append({"Range", "bytes=" + QByteArray::number(have) + '-'});
            request.headers.append({"If-Range", validator});
        }
        auto transfer = std::make_shared<HttpTransfer>();
        m_transfer = transfer;
        auto stopTransfer = qScopeGuard([&] {
            transfer->stop(); // a frame torn down mid-request doesn't wait out the download
            if (*alive && m_transfer == transfer)
                m_transfer.reset();
        });
        if (m_cancelled) // cancel() may have come while the file was being opened
            transfer->stop();

        auto state = std::make_shared<Attempt>();
        state->received = received;
        state->have = have;
        state->validator = validator;
        m_sampler = SpeedSampler();
        // Progress reaches this thread at a bounded rate, through the writer (it outlives the
        // worker), and only while this object lives.
        const auto report = [this, alive, writer = writer.get()](qint64 written, qint64 expected) {
            QMetaObject::invokeMethod(
                writer,
                [this, alive, written, expected] {
                    if (!*alive || !onProgress)
                        return;
                    onProgress(written, expected, m_sampler.update(written));
                },
                Qt::QueuedConnection);
        };
        const qint64 expectedSize = m_expectedSize;
        const std::chrono::milliseconds window = m_stallWindow;
        writer->run([state, transfer, request, report, expectedSize, window, keepPartial,
                     validatorPath](DiskWriter::Appender &out) {
            using Clock = std::chrono::steady_clock;
            const Clock::time_point start = Clock::now();
            const auto elapsedMs
                = [&] { return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(); };
            const qint64 receivedAtStart = state->received;
            const qint64 windowBytes = stallBytesPerSecond * window.count() / 1000;
            QList<QPair<qint64, qint64>> looks; // (ms since the request, bytes received)
            qint64 nextLook = 0;
            qint64 lastReport = -1000;
            qint64 announced = -1;
            const auto reportNow = [&] {
                lastReport = elapsedMs();
                const qint64 bodyBytes = state->received - state->have;
                report(state->have + bodyBytes, announced > 0 ? state->have + announced : -1);
            };

            const auto take = [&](const char *bytes, qint64 size, const HttpTransfer::Answer &answer) {
                if (answer.status < 200 || answer.status >= 300)
                    return true; // a redirect's or an error's own body is not the file
                if (!state->started) {
                    state->started = true;
                    announced = answer.contentLength;
                    if (state->have > 0 && answer.status == 200) {
                        // The server sent the whole file again (no ranges, or a changed file).
                        out.restart();
                        state->have = state->received = 0;
                    }
                    if (keepPartial && state->have == 0) {
                        QByteArray tag = answer.etag;
                        if (tag.isEmpty() || tag.startsWith("W/"))
                            tag = answer.lastModified;
                        FileOps::replaceFile(validatorPath, tag);
                        state->validator = tag;
                    }
                }
                if (expectedSize > 0 && state->received + size > expectedSize) {
                    state->tooLarge = true; // an endless body must not fill the disk
                    return false;
                }
                out.append(bytes, size);
                state->received += size;
                if (elapsedMs() - lastReport >= 1000 / progressPerSecond)
                    reportNow();
                return true;
            };
            // A failure in here (a full disk) mustn't unwind through libcurl's C frames: it is
            // kept, the transfer stopped, and thrown once libcurl has returned.
            std::exception_ptr failure;
            const auto body = [&](const char *bytes, qint64 size, const HttpTransfer::Answer &answer) {
                try {
                    return take(bytes, size, answer);
                } catch (...) {
                    failure = std::current_exception();
                    return false;
                }
            };
            // Stalled: under stallBytesPerSecond on average over the last window, judged a few
            // times per window from what had arrived at each look.
            const auto tick = [&] {
                const qint64 now = elapsedMs();
                if (now < nextLook)
                    return true;
                nextLook = now + std::max<qint64>(1, window.count() / 6);
                looks.append({now, state->received - receivedAtStart});
                while (looks.size() > 1 && looks[1].first <= now - window.count())
                    looks.removeFirst();
                const qint64 before = looks.first().first <= now - window.count() ? looks.first().second : 0;
                if (now >= window.count() && state->received - receivedAtStart - before < windowBytes) {
                    state->stalled = true;
                    return false;
                }
                return true;
            };
            state->answer = transfer->run(request, body, tick,
                                          std::chrono::milliseconds(std::max<qint64>(1, window.count() / 6)));
            if (failure)
                std::rethrow_exception(failure);
            if (state->started)
                reportNow(); // the last figure always arrives
        });
        auto drained3 = writer->drained(); // throws the write's failure
        co_await std::move(drained3);
        stopIfGone();
        const HttpTransfer::Answer &answer = state->answer;
        qCDebug(lcDownload) << current << "answered" << state->answer.status << "from" << have << "to"
                            << state->received << state->answer.error << state->answer.errorText;
        have = state->have;
        received = state->received;
        validator = state->validator;

        if (m_cancelled)
            throw Cancelled{};
        if (!answer.location.isEmpty() && AddressPolicy::isRedirect(answer.status) && !state->stalled) {
            current = AddressPolicy::nextHop(from, current, answer.location, hops++, AddressPolicy::Hosts::any);
            --attempt; // a hop is not another try
            continue;
        }
        const QUrl finalUrl = current;
        current = from;
        hops = 0;
        if (state->tooLarge)
            throw FriendlyError(
                QStringLiteral("The downloaded file is the wrong size, so it may be incomplete. Please try again."),
                QStringLiteral("Expected %1 bytes, got more.").arg(m_expectedSize));

        const int status = answer.status;
        if (status >= 400 && status != 416) {
            const QString code = QString::number(status);
            throw FriendlyError(
                QStringLiteral("The download was refused by the server (error %1). The file may have been moved.")
                    .arg(code),
                QStringLiteral("HTTP %1 for %2").arg(code, finalUrl.toString()));
        }
        // A connection that dropped mid-body (or a body shorter than announced) is tried again
        // from where it stopped, a few times, waiting longer each time.
        const qint64 announced = state->started ? answer.contentLength : -1;
        const bool cutShort = answer.error == QNetworkReply::NoError && announced > 0 && received < have + announced;
        const bool dropped = isDrop(answer.error) || cutShort || state->stalled;
        if (dropped && attempt < m_retryDelays.size() && received > 0 && !validator.isEmpty()) {
            qCDebug(lcDownload) << "connection dropped at" << received << "; trying again";
            auto pause = QCoro::sleepFor(m_retryDelays[attempt]);
            co_await std::move(pause);
            stopIfGone();
            if (m_cancelled)
                throw Cancelled{};
            have = received;
            continue;
        }
        if (status == 416 && have > 0 && attempt < m_retryDelays.size()) {
            // The kept part does not fit the server's file: start over.
            writer->restart();
            have = received = 0;
            continue;
        }
        if (state->stalled)
            throw NetworkError::fromReply(QNetworkReply::OperationCanceledError, QString(),
                                          NetworkError::AbortReason::timedOut);
        if (answer.error != QNetworkReply::NoError)
            throw NetworkError::fromReply(answer.error, answer.errorText);
        if (status == 416 || status == 0)
            throw NetworkError::fromReply(QNetworkReply::ProtocolFailure,
                                          QStringLiteral("The server's answer could not be read."));
        break;
    }

    writer->finish(to, validatorPath);
    auto drained4 = writer->drained();
    co_await std::move(drained4);
    stopIfGone();
    moved = true;
    m_sha256 = writer->sha256();
    qCDebug(lcDownload) << "downloaded" << from << "to" << to;
    co_return to;
}
