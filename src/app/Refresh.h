#pragma once

#include "base/Background.h"

#include <QObject>
#include <QPointer>

#include <qcoro/qcorotask.h>

#include <memory>

// One of the model's refreshes (the release, Tidy's rows, the BIOS scan, the backup items): it
// may be started again while a run is still waiting, and only the newest run's result is kept;
// a run that ends after its owner has gone keeps nothing.
class Refresh
{
public:
    // One run: current() while its owner exists and no newer run has started.
    class Ticket
    {
    public:
        bool current() const { return m_owner && *m_runs == m_run; }

    private:
        friend class Refresh;
        Ticket(QObject *owner, std::shared_ptr<quint64> runs)
            : m_owner(owner)
            , m_runs(std::move(runs))
            , m_run(*m_runs)
        {
        }
        QPointer<QObject> m_owner;
        std::shared_ptr<quint64> m_runs;
        quint64 m_run;
    };

    explicit Refresh(QObject *owner)
        : m_owner(owner)
    {
    }

    // Starts a run, making every earlier one stale.
    Ticket start()
    {
        ++*m_runs;
        return Ticket(m_owner, m_runs);
    }

    // Runs the blocking work in the background and hands its result to store on the main
    // thread, if the run is still current then. The work's failure is thrown from here.
    template <typename Work, typename Store>
    QCoro::Task<> inBackground(Work work, Store store)
    {
        const Ticket ticket = start();
        auto running = Background::run(std::move(work));
        auto outcome = co_await running;
        if (ticket.current())
            store(outcome.take());
    }

private:
    QObject *m_owner;
    std::shared_ptr<quint64> m_runs = std::make_shared<quint64>(0);
};
