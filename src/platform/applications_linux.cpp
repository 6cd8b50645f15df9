#include "platform/Applications.h"

#include "base/PlatformError.h"
#include "platform/BundleInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <csignal>

namespace Applications {

void requestQuit(const RunningApp &app)
{
    ::kill(pid_t(app.pid), SIGTERM);
}

QFuture<void> open(const QString &bundlePath)
{
    const auto meta = BundleInfo::read(bundlePath);
    if (!meta || !meta->executable)
        throw PlatformErrors::fileRead(QDir(bundlePath).filePath(QStringLiteral("Contents/Info.plist")), ENOENT);
    const QString executable = QDir(bundlePath).filePath(QStringLiteral("Contents/MacOS/") + *meta->executable);
    if (!QFileInfo(executable).isExecutable())
        throw PlatformErrors::fileRead(executable, QFileInfo::exists(executable) ? EACCES : ENOENT);
    // Its own output goes nowhere, as an app opened from the Finder: a launcher whose output is
    // piped (vantor-cli launch | cat) must not keep the pipe open for as long as the app runs.
    QProcess process;
    process.setProgram(executable);
    process.setWorkingDirectory(bundlePath);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        throw PlatformErrors::posix(ENOEXEC, executable);
    return QtFuture::makeReadyFuture();
}

} // namespace Applications
