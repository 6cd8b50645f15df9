// The model's actions on OpenEmu as a running program.

#include "app/AppModel.h"
#include "base/Prompter.h"
#include "install/VersionChecker.h"
#include "platform/Applications.h"

#include <qcoro/qcorotimer.h>

#include <chrono>

namespace {

constexpr auto pollInterval = std::chrono::milliseconds(250);
constexpr int pollCount = 40; // ten seconds in all

} // namespace

QCoro::Task<bool> AppModel::ensureClosed()
{
    const QList<RunningApp> running = VersionChecker::runningInstances();
    if (running.isEmpty())
        co_return true;

    const int answer = m_prompter.ask({QStringLiteral("OpenEmu is running"),
                                       QStringLiteral("It needs to be closed first. Save your game progress inside "
                                                      "OpenEmu before continuing."),
                                       {QStringLiteral("Quit OpenEmu"), QStringLiteral("Cancel")},
                                       Prompter::Style::informational});
    if (answer != 0)
        co_return false; // declining is not an error

    for (const RunningApp &app : running)
        Applications::requestQuit(app);

    // Waiting suspends this task only; the window keeps drawing meanwhile.
    for (int waits = 0; waits < pollCount; ++waits) {
        if (VersionChecker::runningInstances().isEmpty())
            co_return true;
        co_await QCoro::sleepFor(pollInterval);
    }
    setError(FriendlyError(QStringLiteral("OpenEmu didn't close. Please quit it yourself and try again."),
                           QStringLiteral("Still running after 10 seconds.")));
    co_return false;
}

QCoro::Task<bool> AppModel::confirmThenClose(Prompter::Alert alert)
{
    if (m_prompter.ask(alert) != 0)
        co_return false;
    const bool closed = co_await ensureClosed();
    co_return closed;
}

QCoro::Task<> AppModel::launch()
{
    if (!m_installed)
        co_return;
    try {
        Applications::open(m_installed->url);
    } catch (...) {
        setError(FriendlyError::from(std::current_exception(), QStringLiteral("Opening OpenEmu-Silicon")));
    }
}
