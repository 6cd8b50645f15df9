#include "platform/RunningApps.h"

namespace RunningApps {

QString bundleOfExecutable(const QString &path)
{
    static const QString marker = QStringLiteral(".app/Contents/MacOS/");
    const qsizetype at = path.lastIndexOf(marker);
    if (at <= 0 || at + marker.size() >= path.size())
        return {};
    return path.left(at + 4);
}

} // namespace RunningApps
