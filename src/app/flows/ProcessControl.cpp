// The model's actions on OpenEmu as a running program.

#include "app/AppModel.h"
#include "app/DeletionGuard.h"
#include "base/Background.h"
#include "base/Prompter.h"
#include "install/VersionChecker.h"
#include "platform/Applications.h"
#include "platform/RunningApps.h"

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
    auto asking = m_prompter.ask(question);
    if (co_await change.wait(asking) != 0)
        co_return Outcome::declined; // declining is not an error

    // Listed again now: the ones running before the question may have gone, and their process
    // numbers may since belong to something else.
    QList<qint64> pids;
    for (const RunningApp &app : VersionChecker::runningInstances()) {
        Applications::requestQuit(app);
        pids.append(app.pid);
    }

    // The processes themselves are watched on a worker thread, a quarter second at a time so that
    // an install's Cancel (Ctrl-C at the terminal) ends the wait at once. Waiting suspends this
    // task only; the window keeps drawing meanwhile, and the change (with the model busy) goes
    // on, so nothing else starts in the gap.
    setBusyMessage(QStringLiteral("Waiting for OpenEmu to quit…"));
    auto said = qScopeGuard([this, &change] {
        if (!change.ownerGone())
            setBusyMessage(std::nullopt);
    });
    for (;;) {
        for (int waits = 0; waits < pollCount; ++waits) {
            auto waiting = Background::run([pids] { return RunningApps::waitForExit(pids, pollInterval); });
            auto waited = co_await change.wait(waiting);
            if (m_install.running && m_install.cancelled)
                co_return Outcome::cancelled;
            if (waited.take()) {
                pids.clear(); // gone; one opened meanwhile is waited for too
                for (const RunningApp &app : VersionChecker::runningInstances())
                    pids.append(app.pid);
                if (pids.isEmpty())
                    co_return Outcome::done;
            }
        }
        // OpenEmu may be asking the user to save: whoever is there decides whether to go on waiting.
        const Prompter::Alert stillOpen{Prompter::AlertId::stillOpen,
                                        QStringLiteral("OpenEmu is still open."),
                                        QStringLiteral("It may be asking you something. Vantor can wait for it to "
                                                       "close, or stop here."),
                                        {QStringLiteral("Wait"), QStringLiteral("Cancel")},
                                        Prompter::Style::informational};
        auto askingAgain = m_prompter.ask(stillOpen);
        if (co_await change.wait(askingAgain) != 0)
            break;
    }
    setError(FriendlyError(QStringLiteral("OpenEmu didn't close. Please quit it yourself and try again."),
                           QStringLiteral("Still running after 10 seconds.")));
    co_return Outcome::failed;
}

QCoro::Task<Outcome> AppModel::confirmThenClose(Prompter::Alert alert, Change &change)
{
    auto asking = m_prompter.ask(alert);
    if (co_await change.wait(asking) != 0)
        co_return Outcome::declined;
    co_return co_await lockThenClose(change);
}

QCoro::Task<Outcome> AppModel::lockThenClose(Change &change)
{
    const Outcome locked = co_await takeLock(change);
    if (locked != Outcome::done)
        co_return locked;
    co_return co_await ensureClosed(change);
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
    // The states OpenEmu will offer to delete at this launch (Delete is its default) are backed up
    // first; without that backup OpenEmu isn't opened.
    auto protecting = Background::run([app = m_installed->url] { return DeletionGuard::protect(app); });
    auto protectedStates = co_await protecting;
    if (!self)
        co_return Outcome::cancelled;
    try {
        const DeletionGuard::Result guarded = protectedStates.take();
        if (guarded.fresh)
            setNotice(DeletionGuard::notice(guarded.states));
    } catch (...) {
        const FriendlyError why
            = FriendlyError::from(std::current_exception(), QStringLiteral("Backing up save states"));
        setError(
            FriendlyError(QStringLiteral("Vantor couldn't back up the save states OpenEmu will offer to delete, so "
                                         "it didn't open OpenEmu."),
                          why.message + (why.details.isEmpty() ? QString() : QLatin1Char('\n') + why.details)));
        co_return Outcome::failed;
    }
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
