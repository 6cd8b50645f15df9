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
    QStringList biosElsewhere; // known BIOS files kept outside the BIOS folder (Flycast's)

    // Read from OpenEmu's preferences (`databasePath`, `saveStateFolder`, `screenshotFolder`).
    // A value that can't be trusted (a relative path, a URL that isn't file:, a ".." component,
    // over 4 KiB, not a string) is ignored for the default, with a line in --verbose.
    static DataPlaces find();
};
