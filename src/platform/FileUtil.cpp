#include "platform/FileUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fts.h>
#include <sys/stat.h>

namespace FileUtil {

namespace {

qint64 allocatedSizeOfTree(const QByteArray &root, const QStringList &followed)
{
    char *paths[] = {const_cast<char *>(root.constData()), nullptr};
    // FTS_PHYSICAL: links are reported as links, never followed. FTS_NOCHDIR keeps the
    // process's working directory alone (other threads may rely on it).
    FTS *tree = fts_open(paths, FTS_PHYSICAL | FTS_NOCHDIR | FTS_COMFOLLOW, nullptr);
    if (!tree)
        return 0;
    qint64 total = 0;
    while (FTSENT *entry = fts_read(tree)) {
        if (entry->fts_info == FTS_F)
            total += qint64(entry->fts_statp->st_blocks) * 512;
        else if (entry->fts_info == FTS_SL && followed.contains(QFile::decodeName(entry->fts_path)))
            fts_set(tree, entry, FTS_FOLLOW); // given again, as what it points to
    }
    fts_close(tree);
    return total;
}

} // namespace

qint64 size(const QString &path, const QStringList &followed)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        return 0;
    if (!S_ISDIR(st.st_mode))
        return qint64(st.st_size);
    return allocatedSizeOfTree(native, followed);
}

QString nearestExisting(const QString &path)
{
    QString at = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(at) && at != QDir::rootPath())
        at = QFileInfo(at).path();
    return at;
}

std::optional<quint64> volumeOf(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(nearestExisting(path)).constData(), &info) != 0)
        return std::nullopt;
    return quint64(info.st_dev);
}

} // namespace FileUtil
