#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QProcess;

// The one way Vantor runs the system's command-line tools.
namespace ProcessRunner {

// Runs the tool to its end without a shell, input from the null device, standard output and
// error in one stream. Gives that output on exit status 0. Otherwise throws FriendlyError:
// the disk-full message when the output mentions "no space left", else "A system tool (name)
// reported a problem.", with the command, exit status and output as details. A tool that
// cannot be started throws PlatformError. Blocks: call it from a background thread.
QString run(const QString &executable, const QStringList &arguments, const std::optional<QString> &cwd = {});

// Makes the process's child end when Vantor ends, however it ends (on Linux the kernel sends
// it SIGKILL; elsewhere the QProcess going away kills it).
void endWithParent(QProcess &process);

} // namespace ProcessRunner
