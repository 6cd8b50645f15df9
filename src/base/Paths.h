#pragma once

#include <QString>
#include <QStringList>

// Every per-user location Vantor uses, built from the home folder and OpenEmu's bundle
// identifier.
namespace Paths {

inline const QString defaultBundleID = QStringLiteral("org.openemu.OpenEmu");

// The user's home folder, read from HOME once, on first use.
QString home();
QString library();

// The system-wide Applications folder: /Applications, or VANTOR_SYSTEM_APPLICATIONS when set
// (development and test systems).
QString systemApplications();
QString userApplications();

// OpenEmu's bundle identifier: the default until an installed app has been found. Written on
// the main thread, read from background scans; every read sees a whole value.
QString bundleID();
void setBundleID(const QString &bundleID);

// Vantor's own folders: its support folder (the lock, the install journal, the kept copy of the
// app an install replaced) and its caches.
QString vantorSupportFolder();
QString previousVersionsFolder();
QString vantorCachesFolder();
// Where backups go until the user chooses a folder of their own: ~/Documents/OpenEmu Backups.
QString defaultBackupFolder();
// The save-state backups an update makes first ("Automatic backups" in Vantor's support folder).
QString automaticBackupsFolder();

// OpenEmu's footprint.
QString supportFolder();
QString saveStatesFolder();
QString gameLibraryFolder();
QString dreamcastBIOSFolder();
QString settingsFile();
QString cachesFolder();
// The top folders of OpenEmu's data, by name inside supportFolder(). A link at one of them (or at
// supportFolder() itself) is the user's: data moved to another disk. Vantor follows those links,
// and no other link below supportFolder().
QStringList dataTopFolders();

} // namespace Paths
