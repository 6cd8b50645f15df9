#include "datacare/BackupManager.h"
#include "datacare/CentralDirectory.h"
#include "datacare/UnreadableZip.h"

#include "base/ByteCount.h"
#include "base/FriendlyError.h"
#include "base/Paths.h"
#include "base/PlatformError.h"
#include "datacare/BackupArchive.h"
#include "datacare/DataPlaces.h"
#include "platform/AppPreferences.h"
#include "platform/FileOps.h"
#include "platform/FileUtil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace BackupManager {

namespace {

constexpr qsizetype maxNamesShown = 20;
const QString openEmuTop = QStringLiteral("Application Support/OpenEmu/");
const QString preferencesTop = QStringLiteral("Preferences/");

// The preferences domain a settings file holds ("Preferences/org.openemu.OpenEmu.plist" gives
// "org.openemu.OpenEmu"); none for anything else.
std::optional<QString> preferencesDomain(const QString &relative)
{
    if (!relative.startsWith(QStringLiteral("Preferences/")) || !relative.endsWith(QStringLiteral(".plist"))
        || relative.count(QLatin1Char('/')) != 1)
        return std::nullopt;
    return relative.mid(12).chopped(6);
}

const QString manifestName = QStringLiteral("Vantor-Backup.json");

// Folders in OpenEmu's support folder that are OpenEmu's own, not a core's.
QStringList notCoreFolders()
{
    return Paths::dataTopFolders()
           + QStringList{QStringLiteral("Cores"), QStringLiteral("Bindings"), QStringLiteral("Shaders")};
}
const QString reachMessage = QStringLiteral("A folder OpenEmu uses can't be reached. Is its drive connected?");

FriendlyError unreachable(const BackupItem &item)
{
    return FriendlyError(reachMessage, item.title + QStringLiteral(": ") + item.sources.join(QStringLiteral(", ")));
}

FriendlyError notABackup(const QStringList &names)
{
    return FriendlyError(QStringLiteral("That zip doesn't look like a backup made by Vantor, so it was not restored."),
                         names.mid(0, maxNamesShown).join(QLatin1Char('\n')));
}

QString topFolderOf(const QString &name)
{
    if (name.startsWith(openEmuTop))
        return openEmuTop;
    if (name.startsWith(preferencesTop))
        return preferencesTop;
    return {};
}

// Whether an entry is something a Vantor backup holds: its manifest, OpenEmu's settings file, or
// what lies in one of the items' own folders (or a folder above one). Nothing else is ever
// restored: not a core, not key bindings, not another app's settings.
bool isBackupName(const QString &stored, bool isFolder)
{
    QString name = stored;
    while (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    if (name == manifestName)
        return !isFolder;
    const QStringList parts = name.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QStringLiteral(".") || part == QStringLiteral(".."))
            return false;
    }
    if (parts[0] == QStringLiteral("Preferences")) {
        if (parts.size() == 1)
            return isFolder;
        // OpenEmu's own domain, under whichever identifier the backed-up app had.
        return parts.size() == 2 && !isFolder && parts[1].endsWith(QStringLiteral(".plist"))
               && parts[1].contains(QStringLiteral("openemu"), Qt::CaseInsensitive);
    }
    if (parts[0] != QStringLiteral("Application Support"))
        return false;
    if (parts.size() == 1)
        return isFolder;
    if (parts[1] != QStringLiteral("OpenEmu"))
        return false;
    if (parts.size() == 2)
        return isFolder;
    const QStringList inside = parts.mid(2);
    if (Paths::dataTopFolders().contains(inside[0]))
        return true;
    const QString joined = inside.join(QLatin1Char('/'));
    for (const QString &saves : DataPlaces::coreSaveFolders()) {
        if (joined == saves || joined.startsWith(saves + QLatin1Char('/')))
            return true;
        if (isFolder && saves.startsWith(joined + QLatin1Char('/')))
            return true; // a folder on the way to them
    }
    // Flycast's BIOS files, which earlier backups held.
    if (!isFolder
        && (joined == QStringLiteral("Flycast/dc_boot.bin") || joined == QStringLiteral("Flycast/dc_flash.bin")))
        return true;
    const bool coreFolder = !inside[0].startsWith(QLatin1Char('.')) && !notCoreFolders().contains(inside[0]);
    if (!coreFolder)
        return false;
    if (inside.size() == 1)
        return isFolder; // a core's folder, on the way to its battery saves
    return inside[1] == QStringLiteral("Battery Saves");
}

QString withoutTrailingSlash(QString name)
{
    while (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    return name;
}

// Where a link stored at `linkName` points, as a path relative to the Library folder, or none
// when it climbs out of it, is absolute, or passes through one of the archive's `links` (which
// the kernel would follow before taking the ".." after it).
std::optional<QString> resolveLink(const QString &linkName, const QString &target, const QSet<QString> &links)
{
    if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
        return std::nullopt;
    QStringList path = linkName.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    path.removeLast(); // the link's own name
    for (const QString &part : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QStringLiteral("."))
            continue;
        if (part == QStringLiteral("..")) {
            if (path.isEmpty())
                return std::nullopt;
            path.removeLast();
        } else {
            path.append(part);
            if (links.contains(path.join(QLatin1Char('/'))))
                return std::nullopt;
        }
    }
    return path.join(QLatin1Char('/'));
}

// The first of `path`'s folders that is in `names`.
std::optional<QString> folderIn(const QString &path, const QSet<QString> &names)
{
    for (qsizetype slash = path.indexOf(QLatin1Char('/')); slash > 0;
         slash = path.indexOf(QLatin1Char('/'), slash + 1)) {
        if (names.contains(path.left(slash)))
            return path.left(slash);
    }
    return std::nullopt;
}

// The links of the archive that would let a write leave its place: targets outside the link's
// own top folder or onto another link of the archive, and entries stored below a link (or
// below a file: a link written by another tool may read as one). Sets keep this linear in the
// number of entries: backups hold tens of thousands.
QStringList unsafeLinkEntries(const QList<BackupArchive::Entry> &entries)
{
    QSet<QString> links;
    QSet<QString> notFolders;
    for (const auto &entry : entries) {
        if (entry.type == BackupArchive::Entry::Type::link)
            links.insert(withoutTrailingSlash(entry.name));
        if (entry.type != BackupArchive::Entry::Type::folder)
            notFolders.insert(withoutTrailingSlash(entry.name));
    }
    QStringList unsafe;
    for (const auto &entry : entries) {
        const QString name = withoutTrailingSlash(entry.name);
        if (entry.type == BackupArchive::Entry::Type::link) {
            const auto resolved = resolveLink(name, entry.linkTarget, links);
            if (!resolved || !(*resolved + QLatin1Char('/')).startsWith(topFolderOf(name)))
                unsafe.append(entry.name + QStringLiteral(" -> ") + entry.linkTarget);
        }
        if (const auto above = folderIn(name, notFolders))
            unsafe.append(entry.name + QStringLiteral(" (inside ") + *above + QLatin1Char(')'));
    }
    return unsafe;
}

// The item's size as it will be stored: a link at the item's own place is followed.
qint64 storedSize(const QString &path)
{
    const QFileInfo info(path);
    return FileUtil::size(info.isSymLink() ? info.canonicalFilePath() : path);
}

// Gives the partial file its final name, never replacing anything: a taken name gets "-2",
// "-3", … before ".zip".
QString publish(const QString &partial, const QString &folder, const QString &stem)
{
    for (int n = 1;; ++n) {
        const QString name = stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".zip");
        const QString path = QDir(folder).filePath(name);
        if (::link(QFile::encodeName(partial).constData(), QFile::encodeName(path).constData()) == 0) {
            ::unlink(QFile::encodeName(partial).constData());
            return path;
        }
        if (errno == EEXIST)
            continue;
        // A file system without hard links (FAT, some network shares): look, then rename.
        if (FileOps::exists(path))
            continue;
        FileOps::moveItem(partial, path);
        return path;
    }
}

// The names create() gives its zips while they are being written.
bool isPartialName(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^OpenEmu-Backup-\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}(-Before-Restore)?\\.zip\\.partial$"));
    return pattern.match(name).hasMatch();
}

// OpenEmu's folders as they are now, each to be walked once: the support folder, the settings
// folder, and each data folder kept elsewhere or behind a link (a walk doesn't follow those).
QStringList openEmuTops(const DataPlaces &places)
{
    QStringList tops{Paths::supportFolder(), QDir(Paths::library()).filePath(QStringLiteral("Preferences"))};
    for (const QString &place : {places.saveStates, places.gameLibrary, places.screenshots, places.bios}) {
        if (!FileOps::isInside(place, Paths::supportFolder()) || QFileInfo(place).isSymLink())
            tops.append(place);
    }
    return tops;
}

} // namespace

void removeLeftovers(const QStringList &backupFolders, std::chrono::seconds idle)
{
    BackupArchive::removeLeftovers(openEmuTops(DataPlaces::find()), idle);
    const time_t before = ::time(nullptr) - time_t(idle.count());
    for (const QString &folder : backupFolders) {
        for (const QString &name :
             QDir(folder).entryList({QStringLiteral("*.zip.partial")}, QDir::Files | QDir::Hidden | QDir::System)) {
            const QByteArray path = QFile::encodeName(QDir(folder).filePath(name));
            struct stat st;
            // Only a regular file of Vantor's naming; a link there is left alone.
            if (isPartialName(name) && ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode)
                && (idle.count() == 0 || st.st_ctime < before))
                ::unlink(path.constData());
        }
    }
}

QList<BackupItem> items()
{
    const DataPlaces places = DataPlaces::find();
    const QDir library(Paths::library());
    const QString settings = QStringLiteral("Preferences/") + Paths::bundleID() + QStringLiteral(".plist");
    // Where it is now, as the page shows it: below ~/Library as a relative path, elsewhere in full.
    const auto shown = [&](const QString &path) {
        const QString relative = library.relativeFilePath(path);
        return relative.startsWith(QStringLiteral("..")) ? path : relative;
    };
    const auto item = [](const char *id, const char *title, QString detail, bool chosen, QString relativePath) {
        BackupItem made;
        made.id = QLatin1String(id);
        made.title = QLatin1String(title);
        made.detail = std::move(detail);
        made.relativePath = std::move(relativePath);
        made.include = chosen;
        return made;
    };
    BackupItem states
        = item("states", "Save states", shown(places.saveStates), true, openEmuTop + QStringLiteral("Save States"));
    states.sources = {places.saveStates};
    BackupItem gameLibrary
        = item("library", "Game library (database and artwork)",
               shown(places.gameLibrary) + QStringLiteral(". Can be large: it may include copies of imported games."),
               true, openEmuTop + QStringLiteral("Game Library"));
    gameLibrary.sources = {places.gameLibrary};
    BackupItem battery = item("battery", "Battery saves (the games' own saves)", QString(), true, QString());
    QStringList cores, skipped;
    // Each core's Battery Saves, and the saves some cores keep elsewhere in their own folder.
    for (const QString &folder : places.batterySaves + places.coreSaves) {
        const QString relative = QDir(Paths::supportFolder()).relativeFilePath(folder);
        const QString core = relative.section(QLatin1Char('/'), 0, 0);
        // A link the user made is followed, but only into their own home.
        const QFileInfo info(folder);
        if (info.isSymLink() && !FileOps::isInside(info.canonicalFilePath(), QDir::homePath())) {
            skipped.append(folder + QStringLiteral(" -> ") + info.symLinkTarget());
            continue;
        }
        if (!cores.contains(core))
            cores.append(core);
        battery.sources.append(folder);
        battery.stored.append(openEmuTop + relative);
    }
    battery.relativePath = openEmuTop + QStringLiteral("<core>/Battery Saves");
    battery.detail = cores.isEmpty() ? QStringLiteral("No core has saved a game yet.")
                                     : QStringLiteral("Battery Saves of ") + cores.join(QStringLiteral(", "));
    if (!skipped.isEmpty())
        battery.detail += QStringLiteral(". Skipped, a link out of your home: ") + skipped.join(QStringLiteral(", "));
    BackupItem bios = item("bios", "BIOS files", shown(places.bios), true, openEmuTop + QStringLiteral("BIOS"));
    bios.sources = QStringList{places.bios} + places.biosElsewhere;
    for (const QString &file : places.biosElsewhere)
        bios.stored.append(openEmuTop + QDir(Paths::supportFolder()).relativeFilePath(file));
    BackupItem screenshots = item("screenshots", "Screenshots", shown(places.screenshots), false,
                                  openEmuTop + QStringLiteral("Screenshots"));
    screenshots.sources = {places.screenshots};
    BackupItem prefs = item("prefs", "Settings", settings, true, settings);
    prefs.sources = {library.filePath(settings)};

    QList<BackupItem> list{states, gameLibrary, battery, bios, screenshots, prefs};
    for (BackupItem &entry : list) {
        if (entry.stored.size() < entry.sources.size())
            entry.stored.prepend(entry.relativePath); // a single place: stored where it belongs
        entry.exists = false;
        for (const QString &source : std::as_const(entry.sources)) {
            // A folder OpenEmu was told to keep elsewhere that isn't there, nor its parent: its
            // drive is away.
            if (!DataPlaces::reachable(source))
                entry.reachable = false;
            entry.exists = entry.exists || FileOps::exists(source);
            entry.size = ByteCount::saturatingAdd(entry.size, storedSize(source));
        }
        // One that can't be reached stays chosen: the backup then says so rather than leave it out.
        entry.include = entry.include && (entry.exists || !entry.reachable);
    }
    return list;
}

QString fileName(const QDateTime &localTime)
{
    return QStringLiteral("OpenEmu-Backup-") + QLocale::c().toString(localTime, QStringLiteral("yyyy-MM-dd_HH-mm-ss"))
           + QStringLiteral(".zip");
}

namespace {

// What the zip is named after its time: the automatic backup a restore makes of what it replaces.
const QString beforeRestoreMark = QStringLiteral("-Before-Restore");

QString createMarked(const QList<BackupItem> &items, const QString &folder, const QString &mark,
                     const Progress &progress);

} // namespace

QString create(const QList<BackupItem> &items, const QString &folder, const Progress &progress)
{
    return createMarked(items, folder, QString(), progress);
}

namespace {

QString createMarked(const QList<BackupItem> &items, const QString &folder, const QString &mark,
                     const Progress &progress)
{
    if (!QFileInfo(folder).isDir())
        throw FriendlyError(QStringLiteral("The backup folder doesn't exist."), folder);
    QList<BackupArchive::Root> roots;
    QJsonArray manifest;
    qint64 needed = 0;
    for (const BackupItem &item : items) {
        if (!item.include)
            continue;
        if (!item.reachable)
            throw unreachable(item);
        if (!item.exists)
            continue;
        QJsonArray parts;
        for (qsizetype i = 0; i < item.sources.size(); ++i) {
            if (!FileOps::exists(item.sources[i]))
                continue;
            roots.append({item.sources[i], item.stored.value(i)});
            parts.append(QJsonObject{{QStringLiteral("stored"), item.stored.value(i)},
                                     {QStringLiteral("from"), item.sources[i]}});
        }
        manifest.append(QJsonObject{{QStringLiteral("id"), item.id}, {QStringLiteral("parts"), parts}});
        needed = ByteCount::saturatingAdd(needed, item.size);
    }
    if (roots.isEmpty())
        throw FriendlyError(
            QStringLiteral("There is nothing to back up yet. OpenEmu hasn't created these folders on this Mac."));
    // What a killed restore or backup left would otherwise be backed up, or pile up.
    removeLeftovers({folder});

    if (const auto free = FileUtil::freeSpace(folder); free && *free < needed)
        throw FriendlyError(QStringLiteral("The backup folder's disk doesn't have enough room (%1 needed).")
                                .arg(ByteCount::fileStyle(needed)),
                            QStringLiteral("Free: ") + ByteCount::fileStyle(*free));

    // Settings as the preferences service has them now, not as its file last had them: exported
    // into a file of Vantor's own, never onto the live file behind the service's back. Where no
    // service answers (not a Mac), the file is read as it is.
    QTemporaryDir exported;
    for (BackupArchive::Root &root : roots) {
        if (const auto domain = preferencesDomain(root.stored); domain && exported.isValid()) {
            const QString copy = exported.filePath(QFileInfo(root.source).fileName());
            AppPreferences::exportTo(*domain, copy);
            if (QFileInfo(copy).isFile() && !QFileInfo(copy).isSymLink())
                root.source = copy;
        }
    }
    // What the backup holds and where each part was found, for whoever opens the zip later.
    const QList<BackupArchive::Note> notes{
        {manifestName, QJsonDocument(QJsonObject{{QStringLiteral("items"), manifest}}).toJson()}};

    const QString stem = fileName(QDateTime::currentDateTime()).chopped(4) + mark;
    const QString partial = QDir(folder).filePath(stem + QStringLiteral(".zip.partial"));
    try {
        const BackupArchive::Summary written = BackupArchive::write(partial, roots, notes, [&](qint64 done) {
            if (progress)
                progress(done, needed);
        });
        FileOps::checkpoint(QStringLiteral("backup ") + partial); // a kill here leaves the partial zip
        // Read back what was written: every entry, every byte, every checksum.
        const BackupArchive::Summary read = BackupArchive::readBack(partial);
        if (read.entries != written.entries || read.bytes != written.bytes)
            throw FriendlyError(QStringLiteral("The backup could not be verified, so it was removed."),
                                QStringLiteral("Wrote %1 entries (%2 bytes), read back %3 entries (%4 bytes).")
                                    .arg(written.entries)
                                    .arg(written.bytes)
                                    .arg(read.entries)
                                    .arg(read.bytes));
    } catch (const UnreadableZip &e) {
        FileOps::removeItem(partial);
        throw FriendlyError(QStringLiteral("The backup could not be verified, so it was removed."), e.details);
    } catch (...) {
        FileOps::removeItem(partial);
        // A drive unplugged while it was being read: said as that, not as a failed read.
        for (const BackupArchive::Root &root : std::as_const(roots)) {
            if (!DataPlaces::reachable(root.source))
                throw FriendlyError(reachMessage, root.stored + QStringLiteral(": ") + root.source);
        }
        throw;
    }
    return publish(partial, folder, stem);
}

// A backup into Vantor's automatic backups folder. Of those made before updates the newest three
// stay; those a restore made of what it replaced all stay (they are the only copy of those files).
QString createInAutomatic(const QList<BackupItem> &items, const QString &mark = QString())
{
    const QString folder = Paths::automaticBackupsFolder();
    // Vantor's own folder, never a link to the user's backups: rotation must not reach those.
    FileOps::makeOwnFolder(Paths::vantorSupportFolder(), folder);
    const QString zip = createMarked(items, folder, mark, {});
    // Vantor's own copies (regular files, never links).
    QStringList kept
        = QDir(folder).entryList({QStringLiteral("OpenEmu-Backup-*.zip")}, QDir::Files | QDir::NoSymLinks, QDir::Time);
    kept.removeIf([](const QString &name) { return isBeforeRestore(name); });
    while (kept.size() > 3)
        FileOps::removeItem(QDir(folder).filePath(kept.takeLast()));
    return zip;
}

} // namespace

Automatic createAutomatic()
{
    Automatic made;
    // The save states and the battery saves: what an update can cost a player. A drive that isn't
    // connected doesn't stop the update: what can be reached is backed up.
    QList<BackupItem> saves;
    for (BackupItem &item : items()) {
        if (item.id != QStringLiteral("states") && item.id != QStringLiteral("battery"))
            continue;
        if (!item.reachable)
            made.unreachable.append(item.title);
        else if (item.exists)
            saves.append(item);
    }
    if (saves.isEmpty())
        return made;
    made.zip = createInAutomatic(saves);
    return made;
}

QString backUpStates(const QStringList &bundles)
{
    const QString root = DataPlaces::find().saveStates;
    BackupItem states;
    states.id = QStringLiteral("states");
    states.title = QStringLiteral("Save states");
    states.include = states.exists = true;
    for (const QString &bundle : bundles) {
        if (!FileOps::isInside(bundle, root) || !FileOps::exists(bundle))
            continue; // only OpenEmu's own states, as they are now
        states.sources.append(bundle);
        states.stored.append(openEmuTop + QStringLiteral("Save States/") + QDir(root).relativeFilePath(bundle));
        states.size = ByteCount::saturatingAdd(states.size, FileUtil::size(bundle));
    }
    return createInAutomatic({states});
}

namespace {

// Where each folder of a backup goes now: OpenEmu's own folders where its preferences keep them.
// At these a link is the user's (data moved to another disk) and is followed.
BackupArchive::Placement placementNow()
{
    const DataPlaces places = DataPlaces::find();
    const QString support = Paths::supportFolder();
    BackupArchive::Placement placement;
    placement.base = Paths::library();
    placement.skipped = {manifestName};
    placement.folders = {
        {QStringLiteral("Preferences"), QDir(Paths::library()).filePath(QStringLiteral("Preferences"))},
        {QStringLiteral("Application Support/OpenEmu"), support},
        {openEmuTop + QStringLiteral("Save States"), places.saveStates},
        {openEmuTop + QStringLiteral("Game Library"), places.gameLibrary},
        {openEmuTop + QStringLiteral("Screenshots"), places.screenshots},
        {openEmuTop + QStringLiteral("BIOS"), places.bios},
        {openEmuTop + QStringLiteral("*/Battery Saves"), support + QStringLiteral("/*/Battery Saves")},
    };
    return placement;
}

QStringList judge(const QList<BackupArchive::Entry> &entries)
{
    QStringList names, foreign;
    for (const auto &entry : entries) {
        names.append(entry.name);
        if (!isBackupName(entry.name, entry.type == BackupArchive::Entry::Type::folder))
            foreign.append(entry.name);
    }
    if (names.isEmpty())
        throw notABackup(names);
    if (!foreign.isEmpty())
        throw notABackup(foreign);
    const QStringList unsafe = unsafeLinkEntries(entries);
    if (!unsafe.isEmpty())
        throw notABackup(unsafe);
    return names;
}

qint64 totalSize(const QList<BackupArchive::Entry> &entries)
{
    qint64 total = 0;
    for (const auto &entry : entries)
        total = ByteCount::saturatingAdd(total, entry.size);
    return total;
}

} // namespace

QStringList validate(const QString &zip)
{
    return judge(BackupArchive::list(zip));
}

namespace {

// The user's files a restore by `placement` would write over: regular files only (a link is
// replaced by the backup's entry, and what it leads to is never touched).
struct Replacing
{
    QList<BackupArchive::Root> files;
    int newer = 0;
};

Replacing replacing(const QList<BackupArchive::Entry> &entries, const BackupArchive::Placement &placement)
{
    Replacing found;
    for (const auto &entry : entries) {
        if (entry.type != BackupArchive::Entry::Type::file || placement.skipped.contains(entry.name))
            continue;
        const QString top = placement.topFor(entry.name, false);
        const QString disk = top.isEmpty() ? QDir(placement.base).filePath(entry.name)
                                           : placement.diskOf(top) + entry.name.mid(top.size());
        const QFileInfo info(disk);
        if (info.isSymLink() || !info.isFile())
            continue;
        found.files.append({disk, entry.name});
        if (info.lastModified().toSecsSinceEpoch() > entry.modified)
            ++found.newer;
    }
    return found;
}

} // namespace

Replaced replacedBy(const QString &zip)
{
    const QList<BackupArchive::Entry> entries = BackupArchive::list(zip);
    judge(entries);
    const Replacing found = replacing(entries, placementNow());
    return {int(found.files.size()), found.newer};
}

Restored restore(const QString &zip, const Progress &progress)
{
    const QList<BackupArchive::Entry> entries = BackupArchive::list(zip);
    judge(entries);
    const qint64 needed = totalSize(entries);
    FileOps::makePath(Paths::library());
    if (const auto free = FileUtil::freeSpace(Paths::library()); free && *free < needed)
        throw FriendlyError(QStringLiteral("There isn't enough free space to restore this backup."),
                            QStringLiteral("Needed: ") + ByteCount::fileStyle(needed) + QStringLiteral("\nFree: ")
                                + ByteCount::fileStyle(*free));
    const BackupArchive::Placement placement = placementNow();
    // A folder OpenEmu keeps on another drive must be there before anything is written.
    for (const auto &entry : entries) {
        const QString top = placement.topFor(withoutTrailingSlash(entry.name), true);
        const QString disk = top.isEmpty() ? QString() : placement.diskOf(top);
        if (!disk.isEmpty() && !DataPlaces::reachable(disk))
            throw FriendlyError(reachMessage, top + QStringLiteral(": ") + disk);
    }
    if (const QStringList links = placement.blocked(entries); !links.isEmpty())
        throw FriendlyError(QStringLiteral("Part of that backup would go through a link inside OpenEmu's folders, so "
                                           "nothing was restored. Move the link away and try again."),
                            links.mid(0, maxNamesShown).join(QLatin1Char('\n')));
    removeLeftovers({QFileInfo(zip).path()});

    // What is about to be written over is kept first, so that the restore can be undone.
    Restored restored;
    if (const Replacing replaced = replacing(entries, placement); !replaced.files.isEmpty()) {
        BackupItem kept;
        kept.id = QStringLiteral("replaced");
        kept.title = QStringLiteral("Files a restore replaced");
        kept.include = kept.exists = true;
        for (const BackupArchive::Root &file : replaced.files) {
            kept.sources.append(file.source);
            kept.stored.append(file.stored);
            kept.size = ByteCount::saturatingAdd(kept.size, QFileInfo(file.source).size());
        }
        restored.undo = createInAutomatic({kept}, beforeRestoreMark);
    }

    restored.notWritten = BackupArchive::extract(zip, placement, [&](qint64 done) {
        if (progress)
            progress(done, needed);
    });
    // The preferences service would otherwise go on with the values it had cached.
    for (const auto &entry : entries) {
        if (const auto domain = preferencesDomain(entry.name); domain && entry.type == BackupArchive::Entry::Type::file)
            AppPreferences::importFrom(*domain, placement.diskOf(entry.name.section(QLatin1Char('/'), 0, 0))
                                                    + QLatin1Char('/') + entry.name.section(QLatin1Char('/'), 1));
    }
    return restored;
}

Contents contents(const QString &zip)
{
    const QString top = QStringLiteral("Application Support/OpenEmu/");
    // In the Backup page's order.
    const QList<QPair<QString, QString>> titled{
        {QStringLiteral("Save States/"), QStringLiteral("Save states")},
        {QStringLiteral("Game Library/"), QStringLiteral("Game library")},
        {QStringLiteral("/Battery Saves/"), QStringLiteral("Battery saves")},
        {QStringLiteral("BIOS/"), QStringLiteral("BIOS files")},
        {QStringLiteral("Screenshots/"), QStringLiteral("Screenshots")},
        {QStringLiteral("Preferences/"), QStringLiteral("Settings")},
    };
    QList<qint64> bytes(titled.size() + 1, -1);
    for (const CentralDirectory::Listed &entry : CentralDirectory::entries(zip)) {
        const QString name = QString::fromUtf8(entry.name);
        if (name == manifestName || name.endsWith(QLatin1Char('/')))
            continue;
        qsizetype which = titled.size(); // other OpenEmu files
        if (name.startsWith(QStringLiteral("Preferences/")))
            which = titled.size() - 1;
        else if (name.startsWith(top)) {
            const QString inside = name.mid(top.size());
            for (qsizetype i = 0; i + 1 < titled.size(); ++i) {
                const QString &prefix = titled[i].first;
                if (prefix.startsWith(QLatin1Char('/')) ? inside.contains(prefix) : inside.startsWith(prefix)) {
                    which = i;
                    break;
                }
            }
        }
        bytes[which] = std::max<qint64>(bytes[which], 0) + qint64(entry.size);
    }
    Contents found;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] >= 0)
            found.items.append(
                {i < titled.size() ? titled[i].second : QStringLiteral("Other OpenEmu files"), bytes[i]});
    }
    const QString base = QFileInfo(zip).completeBaseName();
    found.made = QDateTime::fromString(base.mid(QStringLiteral("OpenEmu-Backup-").size(), 19),
                                       QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    if (!base.startsWith(QStringLiteral("OpenEmu-Backup-")) || !found.made.isValid())
        found.made = QFileInfo(zip).lastModified();
    return found;
}

QList<Listed> listIn(const QString &folder)
{
    QList<Listed> found;
    for (const QFileInfo &file : QDir(folder).entryInfoList({QStringLiteral("OpenEmu-Backup-*.zip")},
                                                            QDir::Files | QDir::NoSymLinks, QDir::Time)) {
        const QDateTime named
            = QDateTime::fromString(file.completeBaseName().mid(15, 19), QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
        found.append({file.filePath(), named.isValid() ? named : file.lastModified(), file.size()});
    }
    return found;
}

bool isBeforeRestore(const QString &zip)
{
    return QFileInfo(zip).fileName().contains(beforeRestoreMark);
}

std::optional<QString> lastBeforeRestore()
{
    for (const QString &zip : automaticBackups()) {
        if (isBeforeRestore(zip))
            return zip;
    }
    return std::nullopt;
}

QStringList automaticBackups()
{
    QStringList zips;
    const QDir folder(Paths::automaticBackupsFolder());
    for (const QFileInfo &file :
         folder.entryInfoList({QStringLiteral("*.zip")}, QDir::Files | QDir::NoSymLinks, QDir::Time))
        zips.append(file.filePath());
    return zips;
}

} // namespace BackupManager
