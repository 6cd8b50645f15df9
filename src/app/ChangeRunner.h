#pragma once

#include "app/ChangeLock.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

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
    bool isRunning() const { return m_state->running; }

private:
    std::shared_ptr<State> m_state = std::make_shared<State>();
};
