#include "install/DiskWriter.h"

#include "install/StreamHash.h"
#include "platform/FileOps.h"

#include <QFile>

#include <qcoro/qcorosignal.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// Hashing runs beside writing, on a thread of its own: SHA-256 costs about as much as the write
// itself, and done one after the other they would halve the download's speed. Its queue is
// bounded too; a writer that gets ahead waits.
class HashThread
{
public:
    static constexpr qint64 limitBytes = 4 * 1024 * 1024;

    HashThread()
        : m_thread([this] { run(); })
    {
    }
    ~HashThread() { stop(); }

    // Queues work on the hash; waits while more than the limit is queued.
    void push(std::function<void(StreamHash &)> work, qint64 bytes)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stopping || m_queuedBytes < limitBytes; });
        if (m_stopping || m_error)
            return;
        m_queue.emplace_back(std::move(work), bytes);
        m_queuedBytes += bytes;
        m_changed.notify_all();
    }

    // Waits until everything queued has been hashed; throws the first failure.
    void drain()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stopping || (m_queue.empty() && !m_busy); });
        if (m_error)
            throw *m_error;
    }

    // After drain(): the digest of everything added.
    QString finish() { return m_hash.finish(); }

    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            m_stopping = true;
            m_queue.clear();
        }
        m_changed.notify_all();
        m_thread.join();
    }

private:
    void run()
    {
        for (;;) {
            std::pair<std::function<void(StreamHash &)>, qint64> next;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
                if (m_stopping)
                    return;
                next = std::move(m_queue.front());
                m_queue.pop_front();
                m_busy = true;
            }
            std::optional<PlatformError> failure;
            try {
                next.first(m_hash);
            } catch (const PlatformError &error) {
                failure = error;
            }
            {
                std::lock_guard lock(m_mutex);
                m_busy = false;
                m_queuedBytes -= next.second;
                if (failure && !m_error) {
                    m_error = failure;
                    m_queue.clear();
                    m_queuedBytes = 0;
                }
            }
            m_changed.notify_all();
        }
    }

    StreamHash m_hash; // the worker's alone until drain() has returned
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<std::function<void(StreamHash &)>, qint64>> m_queue;
    qint64 m_queuedBytes = 0;
    bool m_busy = false;
    bool m_stopping = false;
    std::optional<PlatformError> m_error;
    std::thread m_thread;
};

} // namespace

struct DiskWriter::State
{
    int fd = -1;
    HashThread hasher;
    QString sha256;
};

DiskWriter::DiskWriter(QString partialPath, QObject *parent)
    : QObject(parent)
    , m_partialPath(std::move(partialPath))
    , m_state(std::make_unique<State>())
{
    m_thread = std::thread([this] { run(); });
}

DiskWriter::~DiskWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    m_state->hasher.stop(); // a writer waiting for the hash to catch up goes on
    m_thread.join();
    if (m_state->fd >= 0)
        ::close(m_state->fd);
}

void DiskWriter::enqueue(std::function<void()> command, qint64 bytes)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_error)
            return;
        m_queue.emplace_back(std::move(command), bytes);
        m_queuedBytes += bytes;
    }
    m_wake.notify_one();
}

bool DiskWriter::hasRoom() const
{
    std::lock_guard lock(m_mutex);
    return m_queuedBytes < highWaterBytes;
}

bool DiskWriter::failed() const
{
    std::lock_guard lock(m_mutex);
    return m_error.has_value();
}

void DiskWriter::run()
{
    for (;;) {
        std::pair<std::function<void()>, qint64> next;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            next = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
        }
        std::optional<PlatformError> failure;
        try {
            next.first();
        } catch (const PlatformError &error) {
            failure = error;
        }
        qint64 before = 0;
        qint64 after = 0;
        bool empty = false;
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
            before = m_queuedBytes;
            m_queuedBytes -= next.second;
            if (failure) {
                m_error = failure;
                m_queue.clear();
                m_queuedBytes = 0;
            }
            after = m_queuedBytes;
            empty = m_queue.empty();
        }
        notify(before, after, empty);
    }
}

// Posted to the object's own thread whatever is connected at this moment, so a waiter that
// checks and then connects (all on its thread) cannot miss it.
void DiskWriter::notify(qint64 before, qint64 after, bool empty)
{
    if (before >= lowWaterBytes && after < lowWaterBytes)
        QMetaObject::invokeMethod(this, &DiskWriter::roomAvailable, Qt::QueuedConnection);
    if (empty)
        QMetaObject::invokeMethod(this, &DiskWriter::idle, Qt::QueuedConnection);
}

QCoro::Task<> DiskWriter::drained()
{
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_error)
                throw *m_error;
            if (m_queue.empty() && !m_busy)
                co_return;
        }
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
            state.fd = ::open(QFile::encodeName(m_partialPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (state.fd < 0)
                throw PlatformErrors::fileWrite(m_partialPath, errno);
            if (::ftruncate(state.fd, keep) != 0 || ::lseek(state.fd, keep, SEEK_SET) != keep)
                throw PlatformErrors::fileWrite(m_partialPath, errno);
            const QString path = m_partialPath;
            state.hasher.push(
                [path, keep](StreamHash &hash) {
                    hash.reset();
                    if (keep > 0)
                        hash.addFile(path, keep);
                },
                keep);
        },
        0);
}

void DiskWriter::restart()
{
    enqueue(
        [this] {
            m_state->hasher.drain(); // it may still be reading the kept part
            if (::ftruncate(m_state->fd, 0) != 0 || ::lseek(m_state->fd, 0, SEEK_SET) != 0)
                throw PlatformErrors::fileWrite(m_partialPath, errno);
            m_state->hasher.push([](StreamHash &hash) { hash.reset(); }, 0);
        },
        0);
}

void DiskWriter::write(QByteArray chunk)
{
    const qint64 size = chunk.size();
    enqueue(
        [this, chunk = std::move(chunk)] {
            writeAll(m_state->fd, chunk.constData(), chunk.size(), m_partialPath);
            m_state->hasher.push([chunk](StreamHash &hash) { hash.add(chunk); }, chunk.size());
        },
        size);
}

void DiskWriter::writeSide(QString path, QByteArray bytes)
{
    enqueue(
        [path = std::move(path), bytes = std::move(bytes)] {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
                throw PlatformErrors::fileWrite(path, errno ? errno : EIO);
        },
        0);
}

void DiskWriter::finish(QString to, QString removeAfter)
{
    enqueue(
        [this, to = std::move(to), removeAfter = std::move(removeAfter)] {
            State &state = *m_state;
            state.hasher.drain(); // a file whose hash failed never gets its name
            const int fd = std::exchange(state.fd, -1);
            if (::close(fd) != 0)
                throw PlatformErrors::fileWrite(m_partialPath, errno);
            FileOps::removeItem(to);
            FileOps::moveItem(m_partialPath, to);
            QFile::remove(removeAfter);
            state.sha256 = state.hasher.finish();
        },
        0);
}
