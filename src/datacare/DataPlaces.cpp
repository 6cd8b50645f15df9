#include "datacare/DataPlaces.h"

#include "base/Paths.h"
#include "datacare/FolderRule.h"
#include "platform/AppPreferences.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUrl>

Q_LOGGING_CATEGORY(lcPlaces, "vantor.places")

namespace {

constexpr qsizetype maxValueLength = 4096;

// A folder OpenEmu's preferences name, as an absolute path; none (and a line in --verbose) for a
// value that can't be trusted. `url`: the value is a file URL string, else a "~"-abbreviated path.
std::optional<QString> folderFrom(const QMap<QString, std::optional<QString>> &preferences, const QString &key,
                                  bool url)
{
    if (!preferences.contains(key))
        return std::nullopt; // not set: the default
    const std::optional<QString> &value = preferences.value(key);
    const auto refuse = [&](const char *why) {
        qCInfo(lcPlaces) << "ignored OpenEmu's" << key << "(" << why << "); using the default";
        return std::nullopt;
    };
    if (!value)
        return refuse("not a string");
    if (value->size() > maxValueLength)
        return refuse("longer than 4 KiB");
    QString path = *value;
    if (url) {
        const QUrl parsed(*value, QUrl::TolerantMode);
        if (!parsed.isValid() || !parsed.isLocalFile())
            return refuse("not a file URL");
        // file://server/share names another machine's folder, never one of this Mac's.
        if (!parsed.host().isEmpty() && parsed.host().compare(QStringLiteral("localhost"), Qt::CaseInsensitive) != 0)
            return refuse("a file URL of another host");
        path = parsed.toLocalFile();
    } else if (path == QStringLiteral("~") || path.startsWith(QStringLiteral("~/"))) {
        path = QDir::homePath() + path.mid(1);
    }
    if (!path.startsWith(QLatin1Char('/')))
        return refuse("not an absolute path");
    if (path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return refuse("a path with \"..\"");
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

QStringList DataPlaces::coreSaveFolders()
{
    return {QStringLiteral("PPSSPP/PSP/SAVEDATA"), QStringLiteral("Dolphin/GC"), QStringLiteral("Dolphin/Wii")};
}

bool DataPlaces::reachable(const QString &folder)
{
    return FileOps::exists(folder) || FileOps::isInside(folder, Paths::library())
           || QFileInfo(QFileInfo(folder).path()).isDir();
}

DataPlaces DataPlaces::find()
{
    const auto preferences = AppPreferences::strings(Paths::bundleID(), Paths::settingsFile());
    const QDir support(Paths::supportFolder());
    DataPlaces places;
    struct Moved
    {
        const char *id;
        const char *key;
        bool url;
        QString *place;
        QString defaultPlace;
        bool fromPreferences = false;
    };
    Moved moved[] = {
        {"library", "databasePath", false, &places.gameLibrary, support.filePath(QStringLiteral("Game Library"))},
        {"states", "saveStateFolder", true, &places.saveStates, support.filePath(QStringLiteral("Save States"))},
        {"screenshots", "screenshotFolder", true, &places.screenshots, support.filePath(QStringLiteral("Screenshots"))},
    };
    const auto useDefault = [&](Moved &folder, const QString &why) {
        qCInfo(lcPlaces) << "ignored OpenEmu's" << folder.key << "(" << *folder.place << ":" << why
                         << "); using the default";
        places.refused.append({QLatin1String(folder.id), *folder.place, why});
        *folder.place = folder.defaultPlace;
        folder.fromPreferences = false;
    };
    // Each judged alone, then the ones kept against each other: the three never overlap.
    for (Moved &folder : moved) {
        const auto value = folderFrom(preferences, QLatin1String(folder.key), folder.url);
        *folder.place = value.value_or(folder.defaultPlace);
        folder.fromPreferences = value.has_value() && QDir::cleanPath(*value) != folder.defaultPlace;
        if (!folder.fromPreferences)
            continue;
        if (const auto why = FolderRule::refusal(*folder.place, folder.defaultPlace))
            useDefault(folder, *why);
    }
    for (Moved &folder : moved) {
        if (!folder.fromPreferences)
            continue;
        for (const Moved &other : moved) {
            if (&other != &folder && FolderRule::overlap(*folder.place, *other.place)) {
                useDefault(folder, QStringLiteral("overlaps the %1 folder").arg(QLatin1String(other.id)));
                break;
            }
        }
    }
    // A moved library is OpenEmu's when OpenEmu's database is there, or nothing yet is.
    if (moved[0].fromPreferences && QFileInfo(places.gameLibrary).isDir()
        && !QFileInfo::exists(QDir(places.gameLibrary).filePath(QStringLiteral("Library.storedata")))
        && !QDir(places.gameLibrary).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        useDefault(moved[0], QStringLiteral("holds files but no Library.storedata"));
    places.bios = support.filePath(QStringLiteral("BIOS"));
    // Each core's own folder is named after the core; its games' saves are in "Battery Saves".
    for (const QString &core : support.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (Paths::dataTopFolders().contains(core))
            continue;
        const QString saves = support.filePath(core + QStringLiteral("/Battery Saves"));
        if (QFileInfo(saves).isDir())
            places.batterySaves.append(saves);
    }
    for (const QString &saves : coreSaveFolders()) {
        if (QFileInfo(support.filePath(saves)).isDir())
            places.coreSaves.append(support.filePath(saves));
    }
    for (const char *file : {"Flycast/dc_boot.bin", "Flycast/dc_flash.bin"}) {
        if (QFileInfo(support.filePath(QLatin1String(file))).isFile())
            places.biosElsewhere.append(support.filePath(QLatin1String(file)));
    }
    return places;
}
