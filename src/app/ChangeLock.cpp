#include "app/ChangeLock.h"

#include "base/Paths.h"
#include "platform/FileOps.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QUuid>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ChangeLock {

namespace {

QMutex mutex;
int lockFd = -1; // open and locked while this process holds the lock

QString lockPath()
{
    return QDir(Paths::vantorSupportFolder()).filePath(QStringLiteral("vantor.lock"));
}

// Opens the lock file without following a link and without waiting on a FIFO. Anything there that
// is not a regular file (a link, a FIFO, a folder, even one with things in it) is not Vantor's
// lock: it is taken away and the file made afresh, or two Vantors would each go on without a
// lock. -1 when the folder cannot take a file.
int openLockFile(const QByteArray &path)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        struct stat info;
        if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
            return fd;
        if (fd >= 0)
            ::close(fd);
        if (::unlink(path.constData()) == 0 || errno == ENOENT)
            continue;
        // A folder: renamed aside in one step (another Vantor may be doing the same; one wins),
        // then removed. It is in Vantor's own folder, and never followed below.
        const QByteArray aside = path + ".replaced-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
        if (::rename(path.constData(), aside.constData()) != 0 && errno != ENOENT)
            return -1;
        FileOps::removeItem(QFile::decodeName(aside));
    }
    return -1;
}

// The process id the holder wrote into the file, for the message only; 0 when it can't be read.
qint64 holderOf(int fd)
{
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? QByteArray(text, int(n)).trimmed().toLongLong() : 0;
}

} // namespace

std::optional<qint64> acquire()
{
    QMutexLocker lock(&mutex);
    if (lockFd >= 0)
        return QCoreApplication::applicationPid();
    try {
        FileOps::makePath(Paths::vantorSupportFolder());
    } catch (...) {
        // The lock file cannot be made; the action's own writes will fail with a clearer error.
    }
    const int fd = openLockFile(QFile::encodeName(lockPath()));
    if (fd < 0)
        return std::nullopt; // no lock can be kept here: go on without one
    // The kernel holds the lock and lets it go when the holder's process ends, however it ends:
    // what the file says never decides.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const qint64 holder = holderOf(fd);
        ::close(fd);
        return holder;
    }
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) != pid.size()) {
        // Only the message of another Vantor would miss the number.
    }
    lockFd = fd;
    return std::nullopt;
}

void release()
{
    QMutexLocker lock(&mutex);
    if (lockFd < 0)
        return;
    // The file stays: removing it could split the lock between two files for two other Vantors.
    ::flock(lockFd, LOCK_UN);
    ::close(lockFd);
    lockFd = -1;
}

} // namespace ChangeLock
