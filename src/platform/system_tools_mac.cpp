#include "platform/SystemTools.h"

#include "platform/ProcessRunner.h"

namespace SystemTools {

void attachDiskImage(const QString &image, const QString &mountPoint)
{
    ProcessRunner::run(QStringLiteral("/usr/bin/hdiutil"),
                       {QStringLiteral("attach"), QStringLiteral("-nobrowse"), QStringLiteral("-readonly"),
                        QStringLiteral("-noautoopen"), QStringLiteral("-mountpoint"), mountPoint, image});
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
