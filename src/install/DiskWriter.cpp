#include "install/DiskWriter.h"

#include "install/StreamHash.h"
#include "install/WorkQueue.h"
#include "platform/FileOps.h"

#include <QFile>
#include <QMutex>

#include <QTimer>

#include <coroutine>

#include <algorithm>
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
    , m_writes(std::make_unique<WorkQueue>([this](qint64, qint64, bool empty) {
        // Posted to this object's thread whatever is connected at this moment, so a waiter
        // that checks and then connects (all on its thread) cannot miss it.
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

void DiskWriter::enqueue(std::function<void()> command)
{
    m_writes->push(std::move(command), 0);
}

namespace {

// Waits for the writer's next idle(), through a direct connection dropped as it fires, then
// resumes from the event loop. QCoro's signal awaiter queues its slot instead, and two idle()
// delivered before that slot runs (one left from a wait that didn't need it) would resume a
// coroutine that had already gone on and ended.
struct NextIdle
{
    DiskWriter *writer;
    QMetaObject::Connection connection;

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        connection = QObject::connect(
            writer, &DiskWriter::idle, writer,
            [this, waiting] {
                QObject::disconnect(connection);
                QTimer::singleShot(0, writer, [waiting] { waiting.resume(); });
            },
            Qt::DirectConnection);
    }
    void await_resume() const noexcept { }
};

} // namespace

QCoro::Task<> DiskWriter::drained()
{
    for (;;) {
        if (const auto error = m_writes->error())
            throw *error;
        if (m_writes->idle())
            co_return;
        NextIdle next{this, {}}; // named: g++ 12 destroys a co_await's temporaries twice
        co_await next;
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
    enqueue([this, keep] {
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
    });
}

void DiskWriter::restartNow()
{
    m_state->hashes.waitIdle(); // it may still be reading the kept part
    if (::ftruncate(m_state->fd, 0) != 0 || ::lseek(m_state->fd, 0, SEEK_SET) != 0)
        throw PlatformErrors::fileWrite(m_partialPath, errno);
    if (m_hash)
        m_state->hashes.push([&hash = m_state->hash] { hash.reset(); }, 0);
}

void DiskWriter::restart()
{
    enqueue([this] { restartNow(); });
}

void DiskWriter::writeNow(QByteArray chunk)
{
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
}

void DiskWriter::Appender::append(const char *bytes, qint64 size)
{
    while (size > 0) {
        if (m_buffer.capacity() < appendBytes)
            m_buffer.reserve(appendBytes);
        const qint64 take = std::min(size, appendBytes - m_buffer.size());
        m_buffer.append(bytes, take);
        bytes += take;
        size -= take;
        if (m_buffer.size() >= appendBytes)
            flush();
    }
}

void DiskWriter::Appender::flush()
{
    if (m_buffer.isEmpty())
        return;
    // Handed to the hash as it is (shared, not copied); the next bytes go to a new buffer.
    m_writer.writeNow(std::exchange(m_buffer, QByteArray()));
}

void DiskWriter::Appender::restart()
{
    m_buffer.clear();
    m_writer.restartNow();
}

void DiskWriter::run(std::function<void(Appender &)> work)
{
    enqueue([this, work = std::move(work)] {
        Appender appender(*this);
        work(appender);
        appender.flush();
    });
}

void DiskWriter::finish(QString to, QString removeAfter)
{
    enqueue([this, to = std::move(to), removeAfter = std::move(removeAfter)] {
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
    });
}
