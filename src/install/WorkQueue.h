#pragma once

#include "base/PlatformError.h"

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// A thread of its own that runs queued jobs one after another, keeping count of the bytes
// each carries. The first job that throws PlatformError stops the queue: what waits is
// dropped, later jobs are ignored, and waitIdle() throws it.
class WorkQueue
{
public:
    using Job = std::function<void()>;
    // Called on the queue's thread after each job: the bytes queued before and after it, and
    // whether nothing is left.
    using Finished = std::function<void(qint64 before, qint64 after, bool empty)>;

    explicit WorkQueue(Finished finished = {});
    // stop()
    ~WorkQueue();
    WorkQueue(const WorkQueue &) = delete;
    WorkQueue &operator=(const WorkQueue &) = delete;

    // Queues a job. With a limit, first waits (on the caller's thread) while that many bytes or
    // more are queued.
    void push(Job job, qint64 bytes, qint64 limitBytes = 0);
    // Blocks until every queued job has run; throws the first failure.
    void waitIdle();
    bool idle() const;
    std::optional<PlatformError> error() const;
    // Drops what waits, lets the running job end, and ends the thread; a push() waiting for
    // room returns without queueing.
    void stop();

private:
    void run();

    Finished m_finished;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<Job, qint64>> m_jobs;
    qint64 m_queuedBytes = 0;
    bool m_busy = false;
    bool m_stopping = false;
    std::optional<PlatformError> m_error;
    std::thread m_thread;
};
