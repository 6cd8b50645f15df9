#pragma once

#include <QString>

#include <optional>

// One Vantor at a time changes OpenEmu: a per-user lock file in Vantor's support folder, held
// by an action from the user's confirmation to its end. The process keeps one lock file and
// counts its holders, so nested holds within one process are fine.
namespace ChangeLock {

// Takes the lock (or another hold of it). Gives the other holder's process id when another
// live process has it; a dead holder's lock is taken over.
std::optional<qint64> acquire();
void release();

// A hold for the length of a scope.
class Hold
{
public:
    Hold() = default;
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;
    Hold(Hold &&other) noexcept
        : m_held(other.m_held)
    {
        other.m_held = false;
    }
    ~Hold()
    {
        if (m_held)
            release();
    }
    // Gives the other holder's process id when the lock could not be taken.
    std::optional<qint64> take()
    {
        if (m_held)
            return std::nullopt;
        const auto other = acquire();
        m_held = !other;
        return other;
    }

private:
    bool m_held = false;
};

} // namespace ChangeLock
