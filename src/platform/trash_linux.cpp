#include "base/PlatformError.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace FileOps {

namespace {

// The home trash of the freedesktop rules: $XDG_DATA_HOME/Trash, else ~/.local/share/Trash.
QString homeTrash()
{
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    return QDir(data.isEmpty() ? QDir::home().filePath(QStringLiteral(".local/share")) : data)
        .filePath(QStringLiteral("Trash"));
}

// Whether Qt put the item into a real trash (the home trash, or a volume's .Trash-<uid> or
// .Trash/<uid>), not into a files/ folder of its own making somewhere else.
bool isInATrash(const QString &trashed)
{
    const QFileInfo files(QFileInfo(trashed).path());
    if (files.fileName() != QStringLiteral("files"))
        return false;
    const QString trash = QFileInfo(files.path()).absoluteFilePath();
    const QString name = QFileInfo(trash).fileName();
    const QString uid = QString::number(::getuid());
    return trash == QFileInfo(homeTrash()).absoluteFilePath() || name == QStringLiteral(".Trash-") + uid
           || (name == uid && QFileInfo(QFileInfo(trash).path()).fileName() == QStringLiteral(".Trash"));
}

} // namespace

void moveToTrash(const QString &path)
{
    if (!exists(path))
        throw PlatformErrors::fileWrite(path, ENOENT);
    // Qt 6.4 moves into "files" and "info" of the current folder when the home trash is
    // missing; the rules say it is created when needed, private to its user.
    const QString trash = homeTrash();
    makePath(QFileInfo(trash).path());
    for (const QString &part : {QString(), QStringLiteral("/files"), QStringLiteral("/info")}) {
        const QByteArray folder = QFile::encodeName(trash + part);
        if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
            throw PlatformErrors::fileWrite(trash + part, errno);
    }
    QString trashed;
    if (!QFile::moveToTrash(path, &trashed))
        throw PlatformErrors::fileWrite(path, errno ? errno : EIO);
    if (!isInATrash(trashed)) {
        std::rename(QFile::encodeName(trashed).constData(), QFile::encodeName(path).constData());
        throw PlatformErrors::fileWrite(path, EXDEV);
    }
}

} // namespace FileOps
