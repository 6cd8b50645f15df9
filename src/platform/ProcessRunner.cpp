#include "platform/ProcessRunner.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

Q_LOGGING_CATEGORY(lcProcess, "vantor.process", QtWarningMsg)

namespace ProcessRunner {

QString run(const QString &executable, const QStringList &arguments, const std::optional<QString> &cwd)
{
    QProcess process;
    endWithParent(process);
    process.setProgram(executable);
    process.setArguments(arguments);
    if (cwd)
        process.setWorkingDirectory(*cwd);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::MergedChannels);

    qCDebug(lcProcess) << executable << arguments;
    process.start();
    if (!process.waitForStarted(-1))
        throw PlatformError{ErrorDomain::cocoa, CocoaCode::fileNoSuchFile,
                            QStringLiteral("%1: %2").arg(executable, process.errorString())};
    process.waitForFinished(-1);
    const QString output = QString::fromUtf8(process.readAll());
    // A tool killed by a signal has no exit status of its own; report it as a failure.
    const int status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (status == 0)
        return output;

    const QString message
        = output.toLower().contains(QStringLiteral("no space left"))
              ? QStringLiteral("Your disk is full. Free up some space and try again.")
              : QStringLiteral("A system tool (%1) reported a problem.").arg(QFileInfo(executable).fileName());
    QString details = executable;
    for (const QString &argument : arguments)
        details += QLatin1Char(' ') + argument;
    details += QStringLiteral("\nexit status %1\n").arg(status) + output;
    throw FriendlyError(message, details);
}

} // namespace ProcessRunner
