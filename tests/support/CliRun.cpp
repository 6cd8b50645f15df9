#include "CliRun.h"

#include <QJsonDocument>

#include <memory>

QJsonObject CliRun::json() const
{
    return QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
}

namespace CliRunner {

QProcess *start(const QStringList &arguments, const QStringList &environment, QObject *parent)
{
    auto *process = new QProcess(parent);
    process->setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &pair : environment)
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(VANTOR_CLI), arguments);
    process->waitForStarted();
    return process;
}

CliRun finish(QProcess &process)
{
    if (!process.waitForFinished(120'000))
        qFatal("vantor-cli did not finish");
    return {process.exitStatus() == QProcess::CrashExit, process.exitCode(), process.readAllStandardOutput(),
            process.readAllStandardError()};
}

CliRun run(const QStringList &arguments, const QStringList &environment)
{
    const std::unique_ptr<QProcess> process(start(arguments, environment));
    return finish(*process);
}

} // namespace CliRunner
