#pragma once

#include <QString>

#include <optional>

// One Vantor at a time changes OpenEmu: a per-user lock file in Vantor's support folder, held
// by a change from the user's confirmation to its end. The kernel holds it (flock on the open
// file), so a holder that dies lets it go and the file's content never decides; a link, FIFO or
// folder in its place is replaced. There is one holder at a time, within a process too: a second
// hold is refused like another Vantor's (ChangeRunner keeps a process's own changes apart before
// they get here).
namespace ChangeLock {

// Takes the lock. Gives the holder's process id when it is held, by another live process or
// by this one (0 when the holder's number can't be read).
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
    ~Hold() { drop(); }
    // Lets the lock go now.
    void drop()
    {
        if (m_held)
            release();
        m_held = false;
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
