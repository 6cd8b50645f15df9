#include "datacare/DataPlaces.h"

#include "base/Paths.h"
#include "platform/AppPreferences.h"

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

DataPlaces DataPlaces::find()
{
    const auto preferences = AppPreferences::strings(Paths::bundleID(), Paths::settingsFile());
    const QDir support(Paths::supportFolder());
    DataPlaces places;
    places.gameLibrary = folderFrom(preferences, QStringLiteral("databasePath"), false)
                             .value_or(support.filePath(QStringLiteral("Game Library")));
    places.saveStates = folderFrom(preferences, QStringLiteral("saveStateFolder"), true)
                            .value_or(support.filePath(QStringLiteral("Save States")));
    places.screenshots = folderFrom(preferences, QStringLiteral("screenshotFolder"), true)
                             .value_or(support.filePath(QStringLiteral("Screenshots")));
    places.bios = support.filePath(QStringLiteral("BIOS"));
    // Each core's own folder is named after the core; its games' saves are in "Battery Saves".
    for (const QString &core : support.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (Paths::dataTopFolders().contains(core))
            continue;
        const QString saves = support.filePath(core + QStringLiteral("/Battery Saves"));
        if (QFileInfo(saves).isDir())
            places.batterySaves.append(saves);
    }
    for (const char *file : {"Flycast/dc_boot.bin", "Flycast/dc_flash.bin"}) {
        if (QFileInfo(support.filePath(QLatin1String(file))).isFile())
            places.biosElsewhere.append(support.filePath(QLatin1String(file)));
    }
    return places;
}
