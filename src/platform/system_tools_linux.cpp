#include "SystemTools.h"

#include "FileOps.h"
#include "install/ProcessRunner.h"

#include <QStandardPaths>

namespace SystemTools {

namespace {

QString tool(const QString &name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStringLiteral("/usr/bin/") + name : found;
}

} // namespace

void attachDiskImage(const QString &image, const QString &mountPoint)
{
    // 7-Zip reads UDIF images (zlib, lzfse, ...) and their HFS+ or APFS volume; -snl keeps
    // symbolic links as links instead of copying what they point to.
    ProcessRunner::run(tool(QStringLiteral("7zz")), {QStringLiteral("x"), QStringLiteral("-snl"), QStringLiteral("-y"),
                                                     QStringLiteral("-o") + mountPoint, QStringLiteral("--"), image});
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
