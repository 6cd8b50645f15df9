// Flows with the faults the wait check must name; each is one a maintainer could write.

// Waits through its change, then for a rescan without it: the line after may touch a model that
// has gone. (A co_await in a comment is not a wait.)
QCoro::Task<Outcome> AppModel::restoreFlow(std::optional<QString> zip)
{
    std::optional<Change> change = beginChange(Work::restore);
    if (!change)
        co_return Outcome::failed;
    auto judging = Background::run([] { return 1; });
    auto judged = co_await change->wait(judging);
    auto rescanning = refreshBIOS();
    co_await std::move(rescanning);
    const Outcome confirmed = co_await confirmThenClose(question, *change);
    co_return confirmed;
}

QCoro::Task<Outcome> AppModel::runRestore(std::optional<QString> zip)
{
    return ChangeRunner::untilGone(restoreFlow(std::move(zip)));
}

// Handed the change, and asks without it.
QCoro::Task<Outcome> AppModel::ensureClosed(const Change &change)
{
    const int answer = co_await m_prompter.ask(question);
    co_return answer == 0 ? Outcome::done : Outcome::declined;
}

// Begins a change and is run as it is: its end at a wait would reach the window as an exception.
QCoro::Task<Outcome> AppModel::backupFlow(std::optional<QString> folder)
{
    std::optional<Change> change = beginChange(Work::backup);
    co_return Outcome::done;
}

QCoro::Task<Outcome> AppModel::runBackup(std::optional<QString> folder)
{
    return backupFlow(std::move(folder));
}
