#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Sizes of files and folders, and free space, as the Tidy and Backup pages and the disk-space
// rules use them.
namespace FileUtil {

// A file's logical length; for a folder, the space its regular files take on disk (allocated
// blocks), hidden ones included, links not followed but for those at `followed` (absolute paths:
// the user's data moved elsewhere). 0 when nothing is there or it cannot be read.
qint64 size(const QString &path, const QStringList &followed = {});

// Space available on the volume holding the path, or none when the volume cannot be asked.
std::optional<qint64> freeSpace(const QString &path);

// The path itself, or its nearest folder above that exists: what a path yet to be made is asked
// about.
QString nearestExisting(const QString &path);

// Which volume the path (or its nearest existing folder) is on; none when it cannot be told.
std::optional<quint64> volumeOf(const QString &path);

} // namespace FileUtil
