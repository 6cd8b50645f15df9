#include "datacare/BackupManager.h"

#include "base/ByteCount.h"
#include "base/FriendlyError.h"
#include "base/Paths.h"
#include "datacare/ZipListing.h"
#include "platform/FileOps.h"
#include "platform/FileUtil.h"
#include "platform/ProcessRunner.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>

namespace BackupManager {

namespace {

const QString zipTool = QStringLiteral("/usr/bin/zip");
const QString unzipTool = QStringLiteral("/usr/bin/unzip");
constexpr qsizetype maxNamesShown = 20;

FriendlyError notABackup(const QStringList &names)
{
    return FriendlyError(QStringLiteral("That zip doesn't look like a backup made by Vantor, so it was not restored."),
                         names.mid(0, maxNamesShown).join(QLatin1Char('\n')));
}

bool isBackupName(const QString &name)
{
    return !name.startsWith(QLatin1Char('/')) && !name.contains(QStringLiteral(".."))
           && (name.startsWith(QStringLiteral("Application Support/OpenEmu/"))
               || name.startsWith(QStringLiteral("Preferences/")));
}

// Whether a link stored at `linkName` (relative to the Library folder) with this target stays
// inside the Library folder, judged by the path alone.
bool linkStaysInside(const QString &linkName, const QString &target)
{
    if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
        return false;
    QStringList path = linkName.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    path.removeLast(); // the link's own name
    for (const QString &part : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QStringLiteral("."))
            continue;
        if (part == QStringLiteral("..")) {
            if (path.isEmpty())
                return false;
            path.removeLast();
        } else {
            path.append(part);
        }
    }
    return true;
}

// Info-ZIP checks names but not links: it creates a link first and refuses only what comes
// after, so links are judged here, from the archive's own directory, before anything is written.
QStringList unsafeLinkEntries(const QList<ZipListing::Entry> &entries)
{
    QStringList links;
    QStringList unsafe;
    for (const ZipListing::Entry &entry : entries) {
        if (!entry.isSymlink)
            continue;
        const QString name = entry.name.endsWith(QLatin1Char('/')) ? entry.name.chopped(1) : entry.name;
        links.append(name);
        if (!linkStaysInside(name, entry.linkTarget))
            unsafe.append(entry.name + QStringLiteral(" -> ") + entry.linkTarget);
    }
    for (const ZipListing::Entry &entry : entries) {
        for (const QString &link : std::as_const(links)) {
            if (entry.name.startsWith(link + QLatin1Char('/'))) {
                unsafe.append(entry.name + QStringLiteral(" (inside the link ") + link + QLatin1Char(')'));
                break;
            }
        }
    }
    return unsafe;
}

} // namespace

QList<BackupItem> items()
{
    const QString settings = QStringLiteral("Preferences/") + Paths::bundleID() + QStringLiteral(".plist");
    QList<BackupItem> list = {
        {QStringLiteral("states"), QStringLiteral("Save states"),
         QStringLiteral("Application Support/OpenEmu/Save States"),
         QStringLiteral("Application Support/OpenEmu/Save States"), 0, false, true},
        {QStringLiteral("library"), QStringLiteral("Game library (database and battery saves)"),
         QStringLiteral(
             "Application Support/OpenEmu/Game Library. Can be large: it may include copies of imported games."),
         QStringLiteral("Application Support/OpenEmu/Game Library"), 0, false, true},
        {QStringLiteral("prefs"), QStringLiteral("Settings"), settings, settings, 0, false, true},
    };
    const QDir library(Paths::library());
    for (BackupItem &item : list) {
        const QString path = library.filePath(item.relativePath);
        item.exists = FileOps::exists(path);
        item.size = FileUtil::size(path);
        item.include = item.exists;
    }
    return list;
}

QString fileName(const QDateTime &localTime)
{
    return QStringLiteral("OpenEmu-Backup-") + QLocale::c().toString(localTime, QStringLiteral("yyyy-MM-dd_HH-mm-ss"))
           + QStringLiteral(".zip");
}

QString create(const QList<BackupItem> &items, const QString &folder)
{
    QStringList paths;
    qint64 needed = 0;
    for (const BackupItem &item : items) {
        if (item.include && item.exists) {
            paths.append(item.relativePath);
            needed += item.size;
        }
    }
    if (paths.isEmpty())
        throw FriendlyError(
            QStringLiteral("There is nothing to back up yet. OpenEmu hasn't created these folders on this Mac."));

    if (const auto free = FileUtil::freeSpace(folder); free && *free < needed)
        throw FriendlyError(QStringLiteral("The backup folder's disk doesn't have enough room (%1 needed).")
                                .arg(ByteCount::fileStyle(needed)),
                            QStringLiteral("Free: ") + ByteCount::fileStyle(*free));

    const QString archive = QDir(folder).filePath(fileName(QDateTime::currentDateTime()));
    try {
        ProcessRunner::run(
            zipTool, QStringList{QStringLiteral("-r"), QStringLiteral("-q"), QStringLiteral("-y"), archive} + paths,
            Paths::library());
    } catch (...) {
        FileOps::removeItem(archive);
        throw;
    }
    return archive;
}

QStringList validate(const QString &zip)
{
    const QString listing = ProcessRunner::run(unzipTool, {QStringLiteral("-Z1"), zip});
    const QStringList names = listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (names.isEmpty() || !std::all_of(names.begin(), names.end(), isBackupName))
        throw notABackup(names);

    const auto entries = ZipListing::read(zip);
    if (!entries)
        throw notABackup(names);
    const QStringList unsafe = unsafeLinkEntries(*entries);
    if (!unsafe.isEmpty())
        throw notABackup(unsafe);
    return names;
}

void restore(const QString &zip)
{
    validate(zip);
    ProcessRunner::run(unzipTool,
                       {QStringLiteral("-o"), QStringLiteral("-q"), zip, QStringLiteral("-d"), Paths::library()});
}

} // namespace BackupManager
