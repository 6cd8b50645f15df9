#include "app/ChangeRunner.h"

ChangeRunner::ChangeRunner(std::function<void()> onRunningChanged)
{
    m_state->onRunningChanged = std::move(onRunningChanged);
}

ChangeRunner::~ChangeRunner()
{
    // A change still waiting ends here: its lock goes with the model, and its task, when it
    // resumes, finds the owner gone.
    m_state->ownerGone = true;
    m_state->onRunningChanged = nullptr;
    m_state->running = false;
    m_state->hold.drop();
}

std::optional<ChangeRunner::Change> ChangeRunner::begin()
{
    if (m_state->running || m_state->ownerGone)
        return std::nullopt;
    m_state->running = true;
    if (m_state->onRunningChanged)
        m_state->onRunningChanged();
    return Change(m_state);
}

void ChangeRunner::Change::end()
{
    if (!m_state)
        return; // moved from
    const std::shared_ptr<State> state = std::move(m_state);
    if (state->ownerGone)
        return; // the runner ended it already
    state->hold.drop();
    state->running = false;
    if (state->onRunningChanged)
        state->onRunningChanged();
}

QCoro::Task<Outcome> ChangeRunner::untilGone(QCoro::Task<Outcome> flow)
{
    try {
        co_return co_await std::move(flow);
    } catch (const Gone &gone) {
        co_return gone.outcome;
    }
}
