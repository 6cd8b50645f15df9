#include "platform/FileOps.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "base/TestHooks.h"
#include "platform/ProcessRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace FileOps {

namespace {

QMutex faultMutex;
MoveFault moveFault;

std::optional<int> injectedFault(const QString &from, const QString &to)
{
    QMutexLocker lock(&faultMutex);
    return moveFault ? moveFault(from, to) : std::nullopt;
}

// A copy that keeps modes, times and symbolic links, for moves between volumes.
bool copyAcrossVolumes(const QString &from, const QString &to)
{
    QProcess cp;
    ProcessRunner::endWithParent(cp);
    cp.setStandardInputFile(QProcess::nullDevice());
    cp.setProcessChannelMode(QProcess::MergedChannels);
    cp.start(QStringLiteral("cp"), {QStringLiteral("-a"), QStringLiteral("--"), from, to});
    return cp.waitForFinished(-1) && cp.exitStatus() == QProcess::NormalExit && cp.exitCode() == 0;
}

} // namespace

void checkpoint(const QString &step)
{
    static const int killAt = TestHooks::variable("VANTOR_KILL_AT_STEP").toInt();
    static QAtomicInt steps = 0;
    if (killAt <= 0)
        return;
    if (steps.fetchAndAddOrdered(1) + 1 == killAt) {
        std::fprintf(stderr, "killed at step %d: %s\n", killAt, qPrintable(step));
        std::fflush(stderr);
        ::raise(SIGKILL);
    }
}

void moveItem(const QString &from, const QString &to)
{
    checkpoint(QStringLiteral("move ") + from + QStringLiteral(" -> ") + to);
    if (const auto fault = injectedFault(from, to))
        throw PlatformErrors::fileWrite(to, *fault);

    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (std::rename(source.constData(), target.constData()) == 0)
        return;
    const int error = errno;
    if (error != EXDEV)
        throw PlatformErrors::fileWrite(to, error);
    if (exists(to))
        throw PlatformErrors::fileWrite(to, EEXIST);
    const QString copy = QFileInfo(to).dir().filePath(QStringLiteral(".Vantor-copy-")
                                                      + QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!copyAcrossVolumes(from, copy) || std::rename(QFile::encodeName(copy).constData(), target.constData()) != 0) {
        removeItem(copy);
        throw PlatformErrors::fileWrite(to, error);
    }
    checkpoint(QStringLiteral("remove ") + from);
    removeItem(from);
}

bool exchangeItems(const QString &first, const QString &second)
{
    checkpoint(QStringLiteral("exchange ") + first + QStringLiteral(" <-> ") + second);
    if (const auto fault = injectedFault(first, second)) {
        if (*fault == EXDEV)
            return false; // the file system cannot swap
        throw PlatformErrors::fileWrite(second, *fault);
    }
    return exchangeNatively(first, second);
}

qint64 inode(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_ino) : -1;
}

bool removeItem(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    if (!exists(path))
        return true;
    return QFile::remove(path);
}

void makePath(const QString &path)
{
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    QString current;
    for (const QString &part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        current += QLatin1Char('/') + part;
        if (::mkdir(QFile::encodeName(current).constData(), 0755) != 0 && errno != EEXIST)
            throw PlatformErrors::fileWrite(current, errno);
    }
    if (!QFileInfo(absolute).isDir())
        throw PlatformErrors::fileWrite(absolute, ENOTDIR);
}

int flushToDisk(int fd)
{
#ifdef F_FULLFSYNC
    if (::fcntl(fd, F_FULLFSYNC) == 0)
        return 0; // (a file system without it, a network share say, falls back to fsync)
#endif
    return ::fsync(fd) == 0 ? 0 : errno;
}

void replaceFile(const QString &path, const QByteArray &bytes)
{
    const QString temporary = path + QStringLiteral(".new-") + QUuid::createUuid().toString(QUuid::Id128).left(8);
    const QByteArray native = QFile::encodeName(temporary);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        throw PlatformErrors::fileWrite(path, errno);
    qsizetype done = 0;
    ssize_t n = 0;
    while (done < bytes.size() && (n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done))) > 0)
        done += n;
    const int error = done < bytes.size() ? (n < 0 ? errno : EIO) : flushToDisk(fd);
    ::close(fd);
    if (error != 0 || ::rename(native.constData(), QFile::encodeName(path).constData()) != 0) {
        const int failure = error != 0 ? error : errno;
        ::unlink(native.constData());
        throw PlatformErrors::fileWrite(path, failure);
    }
}

std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxBytes, Links links)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::refuse ? O_NOFOLLOW : 0));
    if (fd < 0)
        return std::nullopt;
    struct stat st;
    std::optional<QByteArray> content;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxBytes) {
        QByteArray bytes(qsizetype(std::min<qint64>(maxBytes, st.st_size)), Qt::Uninitialized);
        qsizetype done = 0;
        ssize_t n = 0;
        while (done < bytes.size() && (n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done))) > 0)
            done += n;
        if (n >= 0)
            content = bytes.left(done);
    }
    ::close(fd);
    return content;
}

void makeOwnFolder(const QString &root, const QString &path)
{
    const QString top = QDir::cleanPath(QDir(root).absolutePath());
    const QString target = QDir::cleanPath(QDir(path).absolutePath());
    makePath(QFileInfo(top).path());
    QString current = top;
    const QStringList below = target == top ? QStringList() : target.mid(top.size() + 1).split(QLatin1Char('/'));
    for (qsizetype i = -1; i < below.size(); ++i) {
        if (i >= 0)
            current += QLatin1Char('/') + below[i];
        const QByteArray native = QFile::encodeName(current);
        struct stat st;
        if (::lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode) && ::unlink(native.constData()) != 0)
            throw PlatformErrors::fileWrite(current, errno);
        if (::mkdir(native.constData(), 0755) != 0 && errno != EEXIST)
            throw PlatformErrors::fileWrite(current, errno);
        if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            throw FriendlyError(QStringLiteral("Something that isn't a folder is where Vantor keeps its files. Move it "
                                               "away and try again."),
                                current);
    }
}

Folder Folder::inside(const QString &top, const QString &relative, Missing missing)
{
    QString path = QDir::cleanPath(top);
    int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw PlatformErrors::fileWrite(path, errno);
    for (const QString &part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        const QByteArray name = QFile::encodeName(part);
        if (part == QStringLiteral("..") || part == QStringLiteral(".")) {
            ::close(fd);
            throw PlatformErrors::fileWrite(path, EINVAL);
        }
        if (missing == Missing::make && ::mkdirat(fd, name.constData(), 0755) != 0 && errno != EEXIST) {
            const int error = errno;
            ::close(fd);
            throw PlatformErrors::fileWrite(path, error);
        }
        const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        ::close(fd);
        if (next < 0)
            throw PlatformErrors::fileWrite(path, error);
        fd = next;
    }
    return Folder(fd, path);
}

Folder::Folder(Folder &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_path(std::move(other.m_path))
{
}

Folder::~Folder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<QString> firstLinkBelow(const QString &top, const QString &relative)
{
    QString path = QDir::cleanPath(top);
    for (const QString &part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            return std::nullopt; // missing: made as a real folder when written
        if (!S_ISDIR(st.st_mode))
            return path;
    }
    return std::nullopt;
}

std::optional<QString> resolveOnDisk(const QString &folder, const QString &target)
{
    QStringList resolved;
    QStringList pending = target.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!target.startsWith(QLatin1Char('/')))
        pending = QDir(folder).absolutePath().split(QLatin1Char('/'), Qt::SkipEmptyParts) + pending;
    int links = 0;
    while (!pending.isEmpty()) {
        const QString part = pending.takeFirst();
        if (part == QStringLiteral("."))
            continue;
        if (part == QStringLiteral("..")) {
            if (!resolved.isEmpty())
                resolved.removeLast();
            continue;
        }
        resolved.append(part);
        const QByteArray native = QFile::encodeName(QLatin1Char('/') + resolved.join(QLatin1Char('/')));
        struct stat st;
        if (::lstat(native.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            continue;
        if (++links > 40)
            return std::nullopt;
        QByteArray next(st.st_size + 4097, Qt::Uninitialized);
        const ssize_t length = ::readlink(native.constData(), next.data(), size_t(next.size()));
        if (length < 0)
            return std::nullopt;
        const QString linked = QFile::decodeName(next.left(length));
        resolved.removeLast();
        if (linked.startsWith(QLatin1Char('/')))
            resolved.clear();
        pending = linked.split(QLatin1Char('/'), Qt::SkipEmptyParts) + pending;
    }
    return QLatin1Char('/') + resolved.join(QLatin1Char('/'));
}

bool isInside(const QString &path, const QString &folder)
{
    const QString top = QDir::cleanPath(folder);
    const QString inner = QDir::cleanPath(path);
    return inner == top || inner.startsWith(top == QStringLiteral("/") ? top : top + QLatin1Char('/'));
}

bool exists(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

void setMoveFaultForTesting(MoveFault fault)
{
    QMutexLocker lock(&faultMutex);
    moveFault = std::move(fault);
}

} // namespace FileOps
