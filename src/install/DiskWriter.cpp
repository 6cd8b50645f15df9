#include "install/DiskWriter.h"

#include "install/StreamHash.h"
#include "install/WorkQueue.h"
#include "platform/FileOps.h"

#include <QFile>
#include <QMutex>

#include <qcoro/qcorosignal.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

// Hashing runs beside writing, on a queue of its own: SHA-256 costs about as much as the write
// itself, and done one after the other they would slow the download down. Its queue is bounded
// too; a writer that gets ahead waits.
constexpr qint64 hashLimitBytes = 4 * 1024 * 1024;

struct DiskWriter::State
{
    int fd = -1;
    StreamHash hash; // touched only on the hash queue's thread until it is idle
    QString sha256;
    WorkQueue hashes;
};

DiskWriter::DiskWriter(QString partialPath, bool hash, QObject *parent)
    : QObject(parent)
    , m_partialPath(std::move(partialPath))
    , m_hash(hash)
    , m_state(std::make_unique<State>())
    , m_writes(std::make_unique<WorkQueue>([this](qint64 before, qint64 after, bool empty) {
        // Posted to this object's thread whatever is connected at this moment, so a waiter
        // that checks and then connects (all on its thread) cannot miss it.
        if (before >= lowWaterBytes && after < lowWaterBytes)
            QMetaObject::invokeMethod(this, &DiskWriter::roomAvailable, Qt::QueuedConnection);
        if (empty)
            QMetaObject::invokeMethod(this, &DiskWriter::idle, Qt::QueuedConnection);
    }))
{
}

DiskWriter::~DiskWriter()
{
    m_state->hashes.stop(); // a write waiting for the hash to catch up goes on
    m_writes->stop();
    if (m_state->fd >= 0)
        ::close(m_state->fd);
}

namespace {

QMutex stallMutex;
std::function<void()> stall;

} // namespace

void DiskWriter::setStallForTesting(std::function<void()> hook)
{
    QMutexLocker lock(&stallMutex);
    stall = std::move(hook);
}

void DiskWriter::enqueue(std::function<void()> command, qint64 bytes)
{
    m_writes->push(std::move(command), bytes);
}

bool DiskWriter::hasRoom() const
{
    return m_writes->queuedBytes() < highWaterBytes;
}

bool DiskWriter::failed() const
{
    return m_writes->error().has_value();
}

QCoro::Task<> DiskWriter::drained()
{
    for (;;) {
        if (const auto error = m_writes->error())
            throw *error;
        if (m_writes->idle())
            co_return;
        co_await qCoro(this, &DiskWriter::idle);
    }
}

QString DiskWriter::sha256() const
{
    return m_state->sha256;
}

namespace {

void writeAll(int fd, const char *bytes, qint64 size, const QString &path)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw PlatformErrors::fileWrite(path, errno);
        bytes += n;
        size -= n;
    }
}

} // namespace

void DiskWriter::open(qint64 keep)
{
    enqueue(
        [this, keep] {
            State &state = *m_state;
            // Never through a link planted at the partial file's name.
            state.fd
                = ::open(QFile::encodeName(m_partialPath).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (state.fd < 0)
                throw PlatformErrors::fileWrite(m_partialPath, errno);
            if (::ftruncate(state.fd, keep) != 0 || ::lseek(state.fd, keep, SEEK_SET) != keep)
                throw PlatformErrors::fileWrite(m_partialPath, errno);
            if (!m_hash)
                return;
            state.hashes.push(
                [&hash = state.hash, path = m_partialPath, keep] {
                    hash.reset();
                    if (keep > 0)
                        hash.addFile(path, keep);
                },
                keep, hashLimitBytes);
        },
        0);
}

void DiskWriter::restart()
{
    enqueue(
        [this] {
            m_state->hashes.waitIdle(); // it may still be reading the kept part
            if (::ftruncate(m_state->fd, 0) != 0 || ::lseek(m_state->fd, 0, SEEK_SET) != 0)
                throw PlatformErrors::fileWrite(m_partialPath, errno);
            if (m_hash)
                m_state->hashes.push([&hash = m_state->hash] { hash.reset(); }, 0);
        },
        0);
}

void DiskWriter::write(QByteArray chunk)
{
    const qint64 size = chunk.size();
    enqueue(
        [this, chunk = std::move(chunk)] {
            std::function<void()> hook;
            {
                QMutexLocker lock(&stallMutex);
                hook = stall;
            }
            if (hook)
                hook();
            writeAll(m_state->fd, chunk.constData(), chunk.size(), m_partialPath);
            if (m_hash)
                m_state->hashes.push([&hash = m_state->hash, chunk] { hash.add(chunk); }, chunk.size(), hashLimitBytes);
        },
        size);
}

void DiskWriter::writeSide(QString path, QByteArray bytes)
{
    enqueue([path = std::move(path), bytes = std::move(bytes)] { FileOps::replaceFile(path, bytes); }, 0);
}

void DiskWriter::finish(QString to, QString removeAfter)
{
    enqueue(
        [this, to = std::move(to), removeAfter = std::move(removeAfter)] {
            State &state = *m_state;
            state.hashes.waitIdle(); // a file whose hash failed never gets its name
            const int fd = std::exchange(state.fd, -1);
            if (::close(fd) != 0)
                throw PlatformErrors::fileWrite(m_partialPath, errno);
            FileOps::removeItem(to);
            FileOps::moveItem(m_partialPath, to);
            QFile::remove(removeAfter);
            if (m_hash)
                state.sha256 = state.hash.finish();
        },
        0);
}
