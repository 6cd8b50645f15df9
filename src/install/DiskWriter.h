#pragma once

#include "install/WorkQueue.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

// A download's file work on a thread of its own: opening the partial file, receiving and
// writing the body there (hashed on a second thread beside it), and finally giving the file its
// name, so a slow or busy disk never holds up the event loop. Commands run in the order they
// were queued. After the first failure the rest are dropped and drained() throws it.
class DiskWriter : public QObject
{
    Q_OBJECT

public:
    // hash: whether the bytes are hashed as they are written (only worth it when a checksum will
    // be compared; otherwise sha256() stays empty).
    explicit DiskWriter(QString partialPath, bool hash = true, QObject *parent = nullptr);
    // Drops what is still queued, waits for the command running now and closes the file.
    ~DiskWriter() override;

    // Opens the partial file, keeping its first `keep` bytes (and hashing them once, so the
    // hash covers the whole file) and dropping the rest.
    void open(qint64 keep);
    // Drops everything written so far: the server is sending the whole file again.
    void restart();
    // Closes the partial file and renames it to `to`, replacing what is there; then the side
    // file `removeAfter` is removed. The hash is final afterwards.
    void finish(QString to, QString removeAfter);

    // What run()'s work writes through: appended bytes go to the file in writes of
    // appendBytes (and to the hash beside) from the writer's own thread.
    class Appender
    {
    public:
        void append(const char *bytes, qint64 size);
        // Writes what is buffered now (at the end, or before the work stops for good).
        void flush();
        // Drops everything written so far: the server is sending the whole file again.
        void restart();

    private:
        friend class DiskWriter;
        explicit Appender(DiskWriter &writer)
            : m_writer(writer)
        {
        }
        DiskWriter &m_writer;
        QByteArray m_buffer;
    };
    static constexpr qint64 appendBytes = 1024 * 1024;
    // Runs `work` on the writer's thread, in order with the other commands: a download receives
    // there and appends straight to the file, with no hand-off per chunk. What it buffered is
    // written when it returns; a PlatformError it throws fails the writer as a write would.
    void run(std::function<void(Appender &)> work);

    // Tests stand in for a stalled disk: the hook runs on the writer's thread before each chunk is
    // written (none to stop). Vantor's own files are never FIFOs, so nothing else holds one up.
    static void setStallForTesting(std::function<void()> hook);
    // Waits until every queued command has run; throws the first failure.
    QCoro::Task<> drained();
    // The SHA-256 of every byte written, after finish() has run and drained() returned; empty
    // when the writer does not hash.
    QString sha256() const;

Q_SIGNALS:
    void idle();

private:
    void enqueue(std::function<void()> command);
    // On the writer's thread: one chunk to the file, then to the hash.
    void writeNow(QByteArray chunk);
    void restartNow();

    struct State;
    QString m_partialPath;
    bool m_hash;
    std::unique_ptr<State> m_state; // touched by the queued commands only
    std::unique_ptr<WorkQueue> m_writes;
};
