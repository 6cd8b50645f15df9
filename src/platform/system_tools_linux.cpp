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

qint64 zipListedSize(const QString &summary)
{
    // "3 files, 1234 bytes uncompressed, 567 bytes compressed:  54.0%"
    const QStringList words = summary.simplified().split(QLatin1Char(' '));
    for (qsizetype i = 1; i + 1 < words.size(); ++i) {
        if (words[i] == QStringLiteral("bytes") && words[i + 1].startsWith(QStringLiteral("uncompressed")))
            return words[i - 1].toLongLong();
    }
    return 0;
}

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

qint64 listedSize(const QString &archive)
{
    qint64 total = 0;
    if (archive.endsWith(QStringLiteral(".dmg"), Qt::CaseInsensitive)) {
        QStringList arguments{QStringLiteral("l"), QStringLiteral("-slt")};
        if (!isUdifImage(archive))
            arguments.append(QStringLiteral("-tiso"));
        arguments << QStringLiteral("--") << archive;
        const QString listing = ProcessRunner::run(tool(QStringLiteral("7zz")), arguments);
        for (const QString &line : listing.split(QLatin1Char('\n'))) {
            if (line.startsWith(QStringLiteral("Size = ")))
                total += line.mid(7).trimmed().toLongLong();
        }
        return total;
    }
    return zipListedSize(ProcessRunner::run(tool(QStringLiteral("unzip")), {QStringLiteral("-Zt"), archive}));
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
