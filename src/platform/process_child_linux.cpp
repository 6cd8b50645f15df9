#include "platform/ProcessRunner.h"

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

namespace ProcessRunner {

void endWithParent(QProcess &process)
{
    // Runs in the child between fork and exec: only async-signal-safe calls.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

} // namespace ProcessRunner
