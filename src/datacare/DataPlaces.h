#pragma once

#include <QString>
#include <QStringList>

// Where OpenEmu keeps the user's data on this Mac: its own folders, moved where its preferences
// say (the library and the save states are often on another drive), and every core's battery
// saves. The one place that answers this for backup, restore, Tidy and uninstall.
struct DataPlaces
{
    QString gameLibrary; // the folder that holds Library.storedata
    QString saveStates;
    QString screenshots;
    QString bios;
    QStringList batterySaves; // every "<core>/Battery Saves" folder in OpenEmu's support folder
    QStringList coreSaves; // those of coreSaveFolders() that are there, as paths
    QStringList biosElsewhere; // known BIOS files kept outside the BIOS folder (Flycast's)

    // A folder OpenEmu's preferences name that isn't taken as OpenEmu's (see FolderRule): the
    // default is used instead, and Tidy shows this.
    struct Refused
    {
        QString id; // "states", "library" or "screenshots"
        QString path;
        QString why;
    };
    QList<Refused> refused;

    // Read from OpenEmu's preferences (`databasePath`, `saveStateFolder`, `screenshotFolder`).
    // A value that can't be trusted (a relative path, a URL that isn't file: or names another
    // host, a ".." component, over 4 KiB, not a string) is ignored for the default, with a line
    // in --verbose; so is a folder FolderRule refuses, or a moved game library that is neither
    // empty nor holds Library.storedata, and those are listed in `refused`.
    static DataPlaces find();

    // The games' saves some cores keep outside "Battery Saves", relative to OpenEmu's support
    // folder: PPSSPP's memory stick and Dolphin's GameCube memory cards and Wii saves.
    static QStringList coreSaveFolders();

    // Whether a folder can be reached: it is there, or it is in ~/Library, or the folder that
    // would hold it is there (a restore makes it). A folder kept elsewhere whose parent is missing
    // too is on a drive that isn't connected.
    static bool reachable(const QString &folder);
};
