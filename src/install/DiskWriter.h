#pragma once

#include "base/PlatformError.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// A download's file work on a thread of its own: opening the partial file, writing each
// chunk (hashed on a second thread beside it), and finally giving the file its name. The
// network side only queues chunks, so a slow or busy disk never holds up the event loop; it
// asks hasRoom() before queueing more, which bounds the memory held, and waits for
// roomAvailable() when there is none. Commands run in the order they were queued. After the
// first failure the rest are dropped and drained() throws it.
class DiskWriter : public QObject
{
    Q_OBJECT

public:
    // Queued bytes above which hasRoom() says no, and below which roomAvailable() comes.
    static constexpr qint64 highWaterBytes = 8 * 1024 * 1024;
    static constexpr qint64 lowWaterBytes = 2 * 1024 * 1024;

    explicit DiskWriter(QString partialPath, QObject *parent = nullptr);
    // Drops what is still queued, waits for the command running now and closes the file.
    ~DiskWriter() override;

    // Opens the partial file, keeping its first `keep` bytes (and hashing them once, so the
    // hash covers the whole file) and dropping the rest.
    void open(qint64 keep);
    // Drops everything written so far: the server is sending the whole file again.
    void restart();
    void write(QByteArray chunk);
    // Writes a small file beside the partial one (what identifies the server's copy).
    void writeSide(QString path, QByteArray bytes);
    // Closes the partial file and renames it to `to`, replacing what is there; then the side
    // file `removeAfter` is removed. The hash is final afterwards.
    void finish(QString to, QString removeAfter);

    bool hasRoom() const;
    // Whether a command has failed (drained() then throws it).
    bool failed() const;
    // Waits until every queued command has run; throws the first failure.
    QCoro::Task<> drained();
    // The SHA-256 of every byte written, after finish() has run and drained() returned.
    QString sha256() const;

Q_SIGNALS:
    void roomAvailable();
    void idle();

private:
    void enqueue(std::function<void()> command, qint64 bytes);
    void run();
    void notify(qint64 before, qint64 after, bool empty);

    struct State;
    QString m_partialPath;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<std::function<void()>, qint64>> m_queue;
    qint64 m_queuedBytes = 0;
    bool m_busy = false;
    bool m_stopping = false;
    std::optional<PlatformError> m_error;
    std::unique_ptr<State> m_state; // touched by the worker only
    std::thread m_thread;
};
