#include "platform/SystemTools.h"

#include "platform/BundleLinks.h"
#include "platform/FileOps.h"
#include "platform/ProcessRunner.h"

#include "base/PlatformError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <tuple>
#include <unistd.h>

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

struct ImageEntry
{
    QString path;
    bool folder = false;
    qint64 size = 0;
    QString link; // the stored target of a symbolic link
};

// 7-Zip opens a UDIF image (zlib, lzfse, ...) and goes on into its HFS+ or APFS volume by
// itself. hdiutil also attaches plain ISO images; 7-Zip is told when it has one, or it first
// tries the ".dmg" name's format and reports that with a failing warning.
QStringList imageType(const QString &image)
{
    return isUdifImage(image) ? QStringList() : QStringList{QStringLiteral("-tiso")};
}

// Every entry of the image, from `7zz l -slt`: blocks of "Key = value" lines after the
// "----------" line that ends the description of the image itself.
QList<ImageEntry> imageEntries(const QString &image)
{
    const QString listing = ProcessRunner::run(tool(QStringLiteral("7zz")),
                                               QStringList{QStringLiteral("l"), QStringLiteral("-slt")}
                                                   + imageType(image) + QStringList{QStringLiteral("--"), image});
    QList<ImageEntry> entries;
    bool started = false;
    for (const QString &line : listing.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("----------"))) {
            started = true;
            continue;
        }
        if (!started)
            continue;
        const QString key = line.section(QStringLiteral(" = "), 0, 0);
        const QString value = line.section(QStringLiteral(" = "), 1);
        if (key == QStringLiteral("Path"))
            entries.append({value, false, 0, {}});
        else if (entries.isEmpty())
            continue;
        else if (key == QStringLiteral("Folder"))
            entries.last().folder = value == QStringLiteral("+");
        else if (key == QStringLiteral("Size"))
            entries.last().size = value.toLongLong();
        else if (key == QStringLiteral("Symbolic Link"))
            entries.last().link = value;
    }
    return entries;
}

// Whether a link of the image stays inside the app bundle that holds it (BundleLinks' rule),
// judged from the image's listing: the files aren't on disk yet.
bool staysInItsBundle(const ImageEntry &link, const QSet<QString> &links)
{
    const QStringList parts = link.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const qsizetype bundle = std::find_if(parts.begin(), parts.end(),
                                          [](const QString &part) { return part.endsWith(QStringLiteral(".app")); })
                             - parts.begin();
    if (bundle >= parts.size() - 1)
        return false;
    const QString prefix = parts.mid(0, bundle + 1).join(QLatin1Char('/')) + QLatin1Char('/');
    return BundleLinks::staysInside(parts.mid(bundle + 1), link.link,
                                    [&](const QString &below) { return links.contains(prefix + below); });
}

// The app bundle the image holds: among the real folders named ".app" nearest the top (none
// inside another), the one named like OpenEmu, else the first by name; none when there is none.
std::optional<QString> appInImage(const QList<ImageEntry> &entries)
{
    std::optional<QString> best;
    qsizetype bestDepth = 0;
    bool bestNamed = false;
    for (const ImageEntry &entry : entries) {
        if (!entry.folder || !entry.link.isEmpty() || !entry.path.endsWith(QStringLiteral(".app")))
            continue;
        const QStringList parts = entry.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (std::any_of(parts.begin(), parts.end() - 1,
                        [](const QString &part) { return part.endsWith(QStringLiteral(".app")); }))
            continue;
        const bool named = parts.last().startsWith(QStringLiteral("openemu"), Qt::CaseInsensitive);
        const auto key = std::tuple(parts.size(), !named, entry.path);
        if (!best || key < std::tuple(bestDepth, !bestNamed, *best)) {
            best = entry.path;
            bestDepth = parts.size();
            bestNamed = named;
        }
    }
    return best;
}

} // namespace

void attachDiskImage(const QString &image, const QString &mountPoint)
{
    // 7-Zip refuses a link whose target holds ".." or runs through another link (a framework's
    // "XADMaster -> Versions/Current/XADMaster"), leaving an empty file in its place. So links
    // are left out of its extraction and made here, those that stay inside their app bundle;
    // the rest (an "Applications -> /Applications" shortcut beside the app) are not needed.
    const QList<ImageEntry> entries = imageEntries(image);
    QSet<QString> linkPaths;
    QByteArray excluded;
    for (const ImageEntry &entry : entries) {
        if (!entry.link.isEmpty()) {
            linkPaths.insert(entry.path);
            excluded += entry.path.toUtf8() + '\n';
        }
    }
    const QString exclusions = mountPoint + QStringLiteral(".links");
    QFile list(exclusions);
    if (!list.open(QIODevice::WriteOnly) || list.write(excluded) != excluded.size() || !list.flush())
        throw PlatformErrors::fileWrite(exclusions, errno ? errno : EIO);
    list.close();
    auto removeList = qScopeGuard([&] { QFile::remove(exclusions); });

    // -spd: names are names, not wildcards.
    QStringList arguments{QStringLiteral("x"), QStringLiteral("-snl"), QStringLiteral("-spd"), QStringLiteral("-y")};
    arguments += imageType(image);
    if (!excluded.isEmpty())
        arguments << QStringLiteral("-x@") + exclusions;
    arguments << QStringLiteral("-o") + mountPoint << QStringLiteral("--") << image;
    // Only the app's folder, when there is one: the rest of the volume is not needed.
    const std::optional<QString> app = appInImage(entries);
    if (app)
        arguments << *app;
    ProcessRunner::run(tool(QStringLiteral("7zz")), arguments);

    // 7-Zip lists a control character in a name as "_" but writes the real name, so such a link
    // slips past the list above: whatever link it made anyway goes, and only the ones judged
    // below are made.
    QDirIterator made(mountPoint, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (made.hasNext()) {
        if (const QString path = made.next(); QFileInfo(path).isSymLink())
            FileOps::removeItem(path);
    }
    for (const ImageEntry &entry : entries) {
        if (entry.link.isEmpty() || !app || !entry.path.startsWith(*app + QLatin1Char('/'))
            || !staysInItsBundle(entry, linkPaths))
            continue;
        const QString path = QDir(mountPoint).filePath(entry.path);
        FileOps::makePath(QFileInfo(path).path());
        if (::symlink(entry.link.toUtf8().constData(), QFile::encodeName(path).constData()) != 0)
            throw PlatformErrors::fileWrite(path, errno);
    }
}

qint64 listedSize(const QString &archive)
{
    if (archive.endsWith(QStringLiteral(".dmg"), Qt::CaseInsensitive)) {
        qint64 total = 0;
        for (const ImageEntry &entry : imageEntries(archive))
            total += entry.size;
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
