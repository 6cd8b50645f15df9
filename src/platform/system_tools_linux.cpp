#include "platform/SystemTools.h"

#include "platform/FileOps.h"
#include "platform/ProcessRunner.h"

#include <QFile>
#include <QStandardPaths>

namespace SystemTools {

namespace {

QString tool(const QString &name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStringLiteral("/usr/bin/") + name : found;
}

// UDIF images, the kind hdiutil makes, end with a 512-byte trailer that begins "koly".
bool isUdifImage(const QString &image)
{
    QFile file(image);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 512 || !file.seek(file.size() - 512))
        return false;
    return file.read(4) == "koly";
}

} // namespace

void attachDiskImage(const QString &image, const QString &mountPoint)
{
    // 7-Zip opens a UDIF image (zlib, lzfse, ...) and goes on into its HFS+ or APFS volume by
    // itself. hdiutil also attaches plain ISO images; 7-Zip is told when it has one, or it
    // first tries the ".dmg" name's format and reports that with a failing warning.
    // -snl keeps symbolic links as links instead of copying what they point to.
    QStringList arguments{QStringLiteral("x"), QStringLiteral("-snl"), QStringLiteral("-y")};
    if (!isUdifImage(image))
        arguments.append(QStringLiteral("-tiso"));
    arguments << QStringLiteral("-o") + mountPoint << QStringLiteral("--") << image;
    ProcessRunner::run(tool(QStringLiteral("7zz")), arguments);
}

void detachDiskImage(const QString &mountPoint)
{
    FileOps::removeItem(mountPoint);
}

void copyBundle(const QString &from, const QString &to)
{
    ProcessRunner::run(tool(QStringLiteral("cp")), {QStringLiteral("-a"), QStringLiteral("--"), from, to});
}

void unpackZip(const QString &archive, const QString &folder)
{
    ProcessRunner::run(tool(QStringLiteral("unzip")), {QStringLiteral("-q"), archive, QStringLiteral("-d"), folder,
                                                       QStringLiteral("-x"), QStringLiteral("__MACOSX/*")});
}

} // namespace SystemTools
