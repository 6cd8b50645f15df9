#pragma once

#include "cli/CliOutput.h"

#include <qcoro/qcorotask.h>

class AppModel;

// vantor-cli's commands. Each runs on a started, settled model and gives the exit status.
namespace Commands {

enum ExitStatus { success = 0, failure = 1, usage = 2, declined = 3 };

// SIGINT, SIGTERM and SIGHUP stop a running download (the install ends as cancelled) and
// decline a question waiting at the terminal; other work finishes first.
void installSignalHandlers();
bool wasInterrupted();
// The signal that interrupted the run (0 when none): the exit status is then 128 plus it, as a
// shell reports a command stopped by Ctrl-C (130).
int interruptSignal();

QCoro::Task<int> status(AppModel &model, CliOutput::Options options);
QCoro::Task<int> latest(AppModel &model, CliOutput::Options options);
QCoro::Task<int> install(AppModel &model, CliOutput::Options options);
QCoro::Task<int> update(AppModel &model, CliOutput::Options options);
QCoro::Task<int> skip(AppModel &model, CliOutput::Options options);
QCoro::Task<int> unskip(AppModel &model, CliOutput::Options options);
QCoro::Task<int> set(AppModel &model, CliOutput::Options options);
QCoro::Task<int> rollback(AppModel &model, CliOutput::Options options);
QCoro::Task<int> launch(AppModel &model, CliOutput::Options options);
QCoro::Task<int> tidy(AppModel &model, CliOutput::Options options);
QCoro::Task<int> cores(AppModel &model, CliOutput::Options options);
QCoro::Task<int> states(AppModel &model, CliOutput::Options options);
// The folder, zip and answers come through the prompter, as the window's choosers give them.
QCoro::Task<int> backup(AppModel &model, CliOutput::Options options);
QCoro::Task<int> restore(AppModel &model, CliOutput::Options options);
QCoro::Task<int> uninstall(AppModel &model, CliOutput::Options options);
QCoro::Task<int> guide(AppModel &model, CliOutput::Options options);
QCoro::Task<int> systems(AppModel &model, CliOutput::Options options);
QCoro::Task<int> setGamesFolder(AppModel &model, CliOutput::Options options);
QCoro::Task<int> biosImport(AppModel &model, CliOutput::Options options);

} // namespace Commands
