// The model's actions on OpenEmu as a running program.

#include "app/AppModel.h"
#include "base/Prompter.h"
#include "install/VersionChecker.h"
#include "platform/Applications.h"

#include <QPointer>
#include <QScopeGuard>

#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotimer.h>

#include <chrono>

namespace {

constexpr auto pollInterval = std::chrono::milliseconds(250);
constexpr int pollCount = 40; // ten seconds in all

} // namespace

QCoro::Task<Outcome> AppModel::ensureClosed(const Change &change)
{
    if (VersionChecker::runningInstances().isEmpty())
        co_return Outcome::done;

    const Prompter::Alert question{Prompter::AlertId::quitOpenEmu,
                                   QStringLiteral("OpenEmu is running"),
                                   QStringLiteral("It needs to be closed first. Save your game progress inside "
                                                  "OpenEmu before continuing."),
                                   {QStringLiteral("Quit OpenEmu"), QStringLiteral("Cancel")},
                                   Prompter::Style::informational};
    const int answer = co_await m_prompter.ask(question);
    if (change.ownerGone() || answer != 0)
        co_return Outcome::declined; // declining is not an error

    // Listed again now: the ones running before the question may have gone, and their process
    // numbers may since belong to something else.
    for (const RunningApp &app : VersionChecker::runningInstances())
        Applications::requestQuit(app);

    // Waiting suspends this task only; the window keeps drawing meanwhile, and the change (with
    // the model busy) goes on, so nothing else starts in the gap. An install's Cancel (Ctrl-C at
    // the terminal) ends the wait.
    setBusyMessage(QStringLiteral("Waiting for OpenEmu to quit…"));
    auto said = qScopeGuard([this, &change] {
        if (!change.ownerGone())
            setBusyMessage(std::nullopt);
    });
    for (int waits = 0; waits < pollCount; ++waits) {
        if (VersionChecker::runningInstances().isEmpty())
            co_return Outcome::done;
        co_await QCoro::sleepFor(pollInterval);
        if (change.ownerGone() || (m_install.running && m_install.cancelled))
            co_return Outcome::cancelled;
    }
    setError(FriendlyError(QStringLiteral("OpenEmu didn't close. Please quit it yourself and try again."),
                           QStringLiteral("Still running after 10 seconds.")));
    co_return Outcome::failed;
}

QCoro::Task<Outcome> AppModel::confirmThenClose(Prompter::Alert alert, Change &change)
{
    const int answer = co_await m_prompter.ask(alert);
    if (change.ownerGone() || answer != 0)
        co_return Outcome::declined;
    const Outcome locked = co_await takeLock(change);
    if (locked != Outcome::done || change.ownerGone())
        co_return locked;
    const Outcome closed = co_await ensureClosed(change);
    co_return closed;
}

QCoro::Task<Outcome> AppModel::launch()
{
    if (!m_installed)
        co_return Outcome::declined;
    // OpenEmu opened in the middle of a change would be replaced or moved while it runs.
    if (m_changes.isRunning()) {
        setError(FriendlyError(ChangeRunner::refusal()));
        co_return Outcome::failed;
    }
    const QPointer<AppModel> self(this);
    try {
        QFuture<void> opened = Applications::open(m_installed->url);
        co_await opened; // the system's answer (on macOS it comes from another thread)
    } catch (...) {
        if (!self)
            co_return Outcome::cancelled;
        co_return fail(std::current_exception(), QStringLiteral("Opening OpenEmu-Silicon"));
    }
    co_return Outcome::done;
}
