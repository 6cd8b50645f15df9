#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

// How a run of vantor-cli ended and what it printed.
struct CliRun
{
    bool killed = false; // ended by a signal
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QJsonObject json() const; // the last line of its output, as --json prints it
};

namespace CliRunner {

// Starts vantor-cli with no terminal to ask; `environment` ("NAME=value" pairs) adds to this process's.
QProcess *start(const QStringList &arguments, const QStringList &environment = {}, QObject *parent = nullptr);
// Waits (at most two minutes) for a run that was started, and takes what it left.
CliRun finish(QProcess &process);
CliRun run(const QStringList &arguments, const QStringList &environment = {});

} // namespace CliRunner
