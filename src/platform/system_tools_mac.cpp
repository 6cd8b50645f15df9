#include "platform/SystemTools.h"

#include "platform/ProcessRunner.h"

#include <QFileInfo>

namespace SystemTools {

void attachDiskImage(const QString &image, const QString &mountPoint)
{
    ProcessRunner::run(QStringLiteral("/usr/bin/hdiutil"),
                       {QStringLiteral("attach"), QStringLiteral("-nobrowse"), QStringLiteral("-readonly"),
                        QStringLiteral("-noautoopen"), QStringLiteral("-mountpoint"), mountPoint, image});
}

qint64 listedSize(const QString &archive)
{
    if (!archive.endsWith(QStringLiteral(".dmg"), Qt::CaseInsensitive))
        return zipListedSize(ProcessRunner::run(QStringLiteral("/usr/bin/unzip"), {QStringLiteral("-Zt"), archive}));
    // "Total Bytes: N" in the image's description; its own size when that is missing.
    const QString info = ProcessRunner::run(QStringLiteral("/usr/bin/hdiutil"), {QStringLiteral("imageinfo"), archive});
    for (const QString &line : info.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QStringLiteral("Total Bytes:")))
            return trimmed.mid(12).trimmed().toLongLong();
    }
    return QFileInfo(archive).size();
}

void detachDiskImage(const QString &mountPoint)
{
    try {
        ProcessRunner::run(QStringLiteral("/usr/bin/hdiutil"),
                           {QStringLiteral("detach"), QStringLiteral("-force"), mountPoint});
    } catch (...) {
    }
}

void copyBundle(const QString &from, const QString &to)
{
    ProcessRunner::run(QStringLiteral("/usr/bin/ditto"), {from, to});
}

void unpackZip(const QString &archive, const QString &folder)
{
    ProcessRunner::run(QStringLiteral("/usr/bin/ditto"), {QStringLiteral("-x"), QStringLiteral("-k"), archive, folder});
}

} // namespace SystemTools
