#include "app/ChangeLock.h"

#include "base/Paths.h"
#include "platform/FileOps.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QMutex>

#include <memory>

namespace ChangeLock {

namespace {

QMutex mutex;
std::unique_ptr<QLockFile> lockFile;
bool held = false;

} // namespace

std::optional<qint64> acquire()
{
    QMutexLocker lock(&mutex);
    if (held)
        return QCoreApplication::applicationPid();
    try {
        FileOps::makePath(Paths::vantorSupportFolder());
    } catch (...) {
        // The lock file cannot be made; the action's own writes will fail with a clearer error.
    }
    lockFile = std::make_unique<QLockFile>(QDir(Paths::vantorSupportFolder()).filePath(QStringLiteral("vantor.lock")));
    lockFile->setStaleLockTime(0); // only a holder that is gone is taken over
    if (lockFile->tryLock(0)) {
        held = true;
        return std::nullopt;
    }
    qint64 pid = 0;
    QString host, app;
    lockFile->getLockInfo(&pid, &host, &app);
    if (lockFile->error() != QLockFile::LockFailedError) {
        // Not held by anyone: the folder cannot take a lock file. Go on without one.
        lockFile.reset();
        held = true;
        return std::nullopt;
    }
    lockFile.reset();
    return pid;
}

void release()
{
    QMutexLocker lock(&mutex);
    if (!held)
        return;
    held = false;
    if (lockFile)
        lockFile->unlock();
    lockFile.reset();
}

} // namespace ChangeLock
