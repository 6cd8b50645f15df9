#include "datacare/Tidy.h"

#include "base/Paths.h"
#include "datacare/DataPlaces.h"
#include "platform/FileOps.h"
#include "platform/FileUtil.h"

#include <QDir>

namespace Tidy {

QList<TidyRow> scan(const std::optional<QString> &appPath)
{
    struct Place
    {
        QString id;
        QString title;
        QString url;
    };
    QList<Place> places;
    if (appPath)
        places.append({QStringLiteral("app"), QStringLiteral("The app"), *appPath});
    places.append({QStringLiteral("data"), QStringLiteral("Library, save states and BIOS"), Paths::supportFolder()});
    // The folders OpenEmu was told to keep elsewhere (another drive, often), where they really are.
    const DataPlaces data = DataPlaces::find();
    const QList<Place> moved{Place{QStringLiteral("states"), QStringLiteral("Save states"), data.saveStates},
                             Place{QStringLiteral("library"), QStringLiteral("Game library"), data.gameLibrary},
                             Place{QStringLiteral("screenshots"), QStringLiteral("Screenshots"), data.screenshots}};
    for (const Place &place : moved) {
        if (!FileOps::isInside(place.url, Paths::supportFolder()))
            places.append(place);
    }
    // The settings and caches are named after the bundle identifier in force right now.
    places.append({QStringLiteral("prefs"), QStringLiteral("Settings"), Paths::settingsFile()});
    places.append({QStringLiteral("caches"), QStringLiteral("Caches"), Paths::cachesFolder()});
    // The windows macOS reopens for OpenEmu at its next launch.
    places.append({QStringLiteral("savedstate"), QStringLiteral("Saved window state"),
                   QDir(Paths::library())
                       .filePath(QStringLiteral("Saved Application State/") + Paths::bundleID()
                                 + QStringLiteral(".savedState"))});
    // The copy an update replaced, kept for a rollback (the installer keeps at most one).
    const QFileInfoList kept = QDir(Paths::previousVersionsFolder())
                                   .entryInfoList({QStringLiteral("*.app")},
                                                  QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    if (!kept.isEmpty())
        places.append({QStringLiteral("previous"), QStringLiteral("Kept previous version"), kept.first().filePath()});
    if (FileOps::exists(Paths::automaticBackupsFolder()))
        places.append(
            {QStringLiteral("autobackups"), QStringLiteral("Automatic backups"), Paths::automaticBackupsFolder()});

    QStringList followed; // OpenEmu's data moved to another disk counts where it is
    for (const QString &top : Paths::dataTopFolders())
        followed.append(QDir(Paths::supportFolder()).filePath(top));
    QList<TidyRow> rows;
    for (const Place &place : places) {
        const bool exists = FileOps::exists(place.url);
        // Anything outside ~/Library that isn't there, nor its parent, is on a drive that isn't
        // connected.
        const bool reachable = DataPlaces::reachable(place.url);
        rows.append({place.id, place.title, place.url, FileUtil::size(place.url, followed), exists, reachable});
    }
    // Where OpenEmu's preferences point but Vantor won't go: said, with the path, and nothing more.
    for (const DataPlaces::Refused &refused : data.refused) {
        const auto titled
            = std::find_if(moved.cbegin(), moved.cend(), [&](const Place &p) { return p.id == refused.id; });
        TidyRow row{refused.id, titled == moved.cend() ? refused.id : titled->title, refused.path};
        row.refused = true;
        rows.append(row);
    }
    return rows;
}

} // namespace Tidy
