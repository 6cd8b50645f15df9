#include "platform/FileUtil.h"

#include <QStorageInfo>

namespace FileUtil {

std::optional<qint64> freeSpace(const QString &path)
{
    const QStorageInfo volume(path);
    if (!volume.isValid() || !volume.isReady())
        return std::nullopt;
    return volume.bytesAvailable();
}

} // namespace FileUtil
