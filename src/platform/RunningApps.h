#pragma once

#include <QList>
#include <QString>

#include <chrono>

// A running process that belongs to an application bundle.
struct RunningApp
{
    qint64 pid = 0;
    QString bundlePath; // the .app folder the process was started from
    QString bundleID; // the bundle's identifier, empty when it states none
};

namespace RunningApps {

// Every running process started from inside some bundle's Contents/MacOS/, in process-id order.
QList<RunningApp> list();

// Waits, blocking, until every one of the processes has ended or `timeout` has passed, watching
// the processes themselves (a pidfd on Linux, kqueue's NOTE_EXIT on the Mac) rather than listing
// them again. True when all are gone. Run it off the main thread.
bool waitForExit(const QList<qint64> &pids, std::chrono::milliseconds timeout);

// The bundle that holds an executable path ("/A/OpenEmu.app/Contents/MacOS/OpenEmu" gives
// "/A/OpenEmu.app"), or an empty text when the path is not inside a bundle.
QString bundleOfExecutable(const QString &path);

} // namespace RunningApps
