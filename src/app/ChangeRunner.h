#pragma once

#include "app/ChangeLock.h"
#include "app/Outcome.h"

#include <QFuture>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

// The one change to OpenEmu's files that runs at a time in this Vantor: install, update,
// rollback, uninstall, backup, restore, finishing an interrupted run. A change is begun at its
// first step (the first question, the wait for OpenEmu to quit) and ends when its Change handle
// goes, on every path; while it runs, the model is busy and a second change is refused. The
// cross-process lock that keeps other Vantors out is taken through the handle and held for the
// rest of the change.
//
// The runner belongs to the model. When the model goes while a change waits (for OpenEmu to
// quit, for a background step), the runner ends the change at once: the lock is released then,
// not whenever the waiting task next resumes, and the handle then says the owner is gone.
//
// A change's coroutine waits only through Change::wait(), which ends the coroutine (by throwing
// Gone) when it would resume after its owner went; ChangeRunner::untilGone() runs the flow and
// turns that back into an outcome. So no step after a wait can touch a model that has gone.
class ChangeRunner
{
    struct State
    {
        bool running = false;
        bool ownerGone = false;
        ChangeLock::Hold hold;
        std::function<void()> onRunningChanged;
    };

public:
    // What a second change is told while one runs.
    static QString refusal() { return QStringLiteral("Vantor is already changing OpenEmu. Wait for that to finish."); }

    // How a change's coroutine ends at a wait that resumed after its owner went. Not a
    // std::exception: nothing that reports failures takes it for one.
    struct Gone
    {
        Outcome outcome;
    };

    // What waiting for a task or a background step gives.
    template <typename Awaitable>
    struct Awaited;
    template <typename T>
    struct Awaited<QFuture<T>>
    {
        using type = T;
    };
    template <typename T>
    struct Awaited<QCoro::Task<T>>
    {
        using type = T;
    };

    class Change
    {
    public:
        Change(Change &&other) noexcept = default;
        Change &operator=(Change &&) = delete;
        Change(const Change &) = delete;
        ~Change() { end(); }

        // True once the runner's owner has gone: a task that resumes then touches nothing of it.
        bool ownerGone() const { return !m_state || m_state->ownerGone; }
        // Takes the lock that keeps other Vantors out; gives the other holder's process id when
        // another Vantor has it.
        std::optional<qint64> lock() { return ownerGone() ? std::nullopt : m_state->hold.take(); }

        // Waits for a task or a background step and gives its result, or, when the owner went
        // meanwhile, ends the waiting flow with `ifGone`: done once the step has changed the
        // user's files, else cancelled. The awaited thing is a named variable of the caller's
        // (g++ 12 destroys the temporaries of a co_await expression twice).
        template <typename Awaitable>
        QCoro::Task<typename Awaited<Awaitable>::type> wait(Awaitable &awaitable,
                                                            Outcome ifGone = Outcome::cancelled) const
        {
            // The frame's own share: the handle itself may have moved by the time the wait ends.
            const std::shared_ptr<State> state = m_state;
            const auto stayOrGo = [&state, ifGone] {
                if (!state || state->ownerGone)
                    throw Gone{ifGone};
            };
            // A step that failed because its owner went (a download stopped with it) ends the flow
            // the same way: its error is nobody's to report.
            using Result = typename Awaited<Awaitable>::type;
            if constexpr (std::is_void_v<Result>) {
                try {
                    co_await awaitable;
                } catch (...) {
                    stayOrGo();
                    throw;
                }
                stayOrGo();
            } else {
                std::optional<Result> result;
                try {
                    auto value = co_await awaitable;
                    result.emplace(std::move(value));
                } catch (...) {
                    stayOrGo();
                    throw;
                }
                stayOrGo();
                co_return std::move(*result);
            }
        }

    private:
        friend class ChangeRunner;
        explicit Change(std::shared_ptr<State> state)
            : m_state(std::move(state))
        {
        }
        void end();

        std::shared_ptr<State> m_state;
    };

    // onRunningChanged is called whenever a change begins or ends (not after the runner is gone).
    explicit ChangeRunner(std::function<void()> onRunningChanged);
    ~ChangeRunner();
    ChangeRunner(const ChangeRunner &) = delete;
    ChangeRunner &operator=(const ChangeRunner &) = delete;

    // Begins a change; none while another one runs.
    std::optional<Change> begin();
    // Runs a change's flow to its end: one that ended at a wait because its owner went gives the
    // outcome that wait named.
    static QCoro::Task<Outcome> untilGone(QCoro::Task<Outcome> flow);
    bool isRunning() const { return m_state->running; }

private:
    std::shared_ptr<State> m_state = std::make_shared<State>();
};
