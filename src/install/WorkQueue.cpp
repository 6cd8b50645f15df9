#include "install/WorkQueue.h"

WorkQueue::WorkQueue(Finished finished)
    : m_finished(std::move(finished))
    , m_thread([this] { run(); })
{
}

WorkQueue::~WorkQueue()
{
    stop();
}

void WorkQueue::push(Job job, qint64 bytes, qint64 limitBytes)
{
    {
        std::unique_lock lock(m_mutex);
        if (limitBytes > 0)
            m_changed.wait(lock, [&] { return m_stopping || m_queuedBytes < limitBytes; });
        if (m_stopping || m_error)
            return;
        m_jobs.emplace_back(std::move(job), bytes);
        m_queuedBytes += bytes;
    }
    m_changed.notify_all();
}

void WorkQueue::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_stopping || (m_jobs.empty() && !m_busy); });
    if (m_error)
        throw *m_error;
}

bool WorkQueue::idle() const
{
    std::lock_guard lock(m_mutex);
    return m_jobs.empty() && !m_busy;
}

std::optional<PlatformError> WorkQueue::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

void WorkQueue::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
        m_jobs.clear();
    }
    m_changed.notify_all();
    m_thread.join();
}

void WorkQueue::run()
{
    for (;;) {
        std::pair<Job, qint64> next;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            next = std::move(m_jobs.front());
            m_jobs.pop_front();
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
            if (failure && !m_error) {
                m_error = failure;
                m_jobs.clear();
                m_queuedBytes = 0;
            }
            after = m_queuedBytes;
            empty = m_jobs.empty();
        }
        m_changed.notify_all();
        if (m_finished)
            m_finished(before, after, empty);
    }
}
