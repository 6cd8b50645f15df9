#include "install/WorkFolder.h"

#include "base/PlatformError.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace WorkFolder {

namespace {

const QString markerName = QStringLiteral(".vantor-owner");

bool isRunning(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

} // namespace

QString create()
{
    const QString folder
        = QDir(QDir::tempPath())
              .filePath(QStringLiteral("Vantor-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
    FileOps::makePath(folder);
    QFile marker(QDir(folder).filePath(markerName));
    if (!marker.open(QIODevice::WriteOnly) || marker.write(QByteArray::number(qint64(::getpid()))) < 0)
        throw PlatformErrors::fileWrite(marker.fileName(), errno ? errno : EIO);
    return folder;
}

void removeAbandoned()
{
    const QDir temporary(QDir::tempPath());
    for (const QString &name :
         temporary.entryList({QStringLiteral("Vantor-*")}, QDir::Dirs | QDir::NoSymLinks | QDir::Hidden)) {
        const auto marker = FileOps::readRegularFile(temporary.filePath(name + QLatin1Char('/') + markerName), 32);
        if (!marker)
            continue; // not ours, or its owner has not written the marker yet
        bool ok = false;
        const qint64 pid = marker->trimmed().toLongLong(&ok);
        if (ok && !isRunning(pid))
            FileOps::removeItem(temporary.filePath(name));
    }
}

} // namespace WorkFolder
