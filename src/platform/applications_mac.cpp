#include "platform/Applications.h"

#include "base/PlatformError.h"

#include <QProcess>

#include <cerrno>
#include <csignal>

namespace Applications {

void requestQuit(const RunningApp &app)
{
    // SIGTERM reaches a Cocoa app as a normal quit request (applicationShouldTerminate).
    ::kill(pid_t(app.pid), SIGTERM);
}

void open(const QString &bundlePath)
{
    QProcess process;
    process.start(QStringLiteral("/usr/bin/open"), {bundlePath});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        throw PlatformErrors::posix(ENOENT, bundlePath);
}

} // namespace Applications
