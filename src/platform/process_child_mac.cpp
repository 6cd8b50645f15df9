#include "platform/ProcessRunner.h"

#include <QProcess>

namespace ProcessRunner {

// macOS has no parent-death signal; the tools Vantor runs there (hdiutil, ditto) are short,
// and the QProcess that owns one kills it on every exit path of its caller.
void endWithParent(QProcess &) { }

} // namespace ProcessRunner
