#pragma once

#include "datacare/BackupItem.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

// The backup archive: a zip of OpenEmu's save states, library and settings, with entries
// relative to ~/Library. Every operation blocks (folder walks, zip and unzip): run them off the
// main thread.
namespace BackupManager {

// The three items, with whether each exists and its size; an item is proposed when it exists.
QList<BackupItem> items();

// Bytes done so far, and the total expected.
using Progress = std::function<void(qint64 done, qint64 total)>;

// Writes "OpenEmu-Backup-<local time>.zip" into folder from the items both included and
// existing, and gives its path. The zip is written as "….zip.partial", read back in full, and
// only then given its name, which never replaces a file ("-2", "-3", … when taken). Nothing
// is left on failure.
QString create(const QList<BackupItem> &items, const QString &folder, const Progress &progress = {});

// The archive's entry names, when it looks like a Vantor backup: every name under
// "Application Support/OpenEmu/" or "Preferences/", none absolute or with "..", no entry below
// a link of the archive, and every link's target inside the link's own top folder and not
// itself a link of the archive. Throws FriendlyError otherwise. Changes nothing on disk.
QStringList validate(const QString &zip);

// What a backup zip holds, for the question before a restore: each item's title and bytes (in
// the order of the Backup page), and when it was made (from its name, else the file's date).
// Reads only the zip's directory. Throws what validate() throws for a zip it can't read.
struct Contents
{
    QList<QPair<QString, qint64>> items;
    QDateTime made;
};
Contents contents(const QString &zip);

// The backup zips Vantor made in a folder ("OpenEmu-Backup-….zip", links and partial files left
// out), newest first. Reads only the folder.
struct Listed
{
    QString path;
    QDateTime made;
    qint64 size = 0;
};
QList<Listed> listIn(const QString &folder);

// The automatic backups, newest first: those made before updates and those a restore made of
// what it replaced.
QStringList automaticBackups();
// Whether an automatic backup is one a restore made of the files it replaced.
bool isBeforeRestore(const QString &zip);
// The newest of those: restoring it undoes the last restore.
std::optional<QString> lastBeforeRestore();

// The backup an update makes first: the save states and the battery saves, into the automatic
// backups folder, with the archive code above; then only the 3 newest automatic backups are
// kept. What is on a drive that isn't connected is left out (its titles go to `unreachable`)
// rather than stop the update. None when there is nothing to back up yet. Throws what create()
// throws.
struct Automatic
{
    std::optional<QString> zip;
    QStringList unreachable;
};
Automatic createAutomatic();

// Just these save-state bundles (inside OpenEmu's save-state folder), into the automatic backups
// folder, stored under their default place; then only the 3 newest automatic backups are kept.
// Gives the zip. Throws what create() throws.
QString backUpStates(const QStringList &bundles);

// How many of the user's files a restore of `zip` would write over now, and how many of those
// were changed after the backup's copy. Throws what validate() throws.
struct Replaced
{
    int files = 0;
    int newer = 0;
};
Replaced replacedBy(const QString &zip);

// Validates, checks free space, backs up the files it is about to write over into a new
// automatic backup ("…-Before-Restore.zip", never rotated away), then unpacks each item where
// OpenEmu keeps it now: each file replaced whole or not at all; nothing is removed.
struct Restored
{
    // The files not written because this file system takes their name for another's (names
    // that differ only in case or Unicode form).
    QStringList notWritten;
    // The backup of what was replaced; restoring it undoes this restore. None when nothing was.
    std::optional<QString> undo;
};
Restored restore(const QString &zip, const Progress &progress = {});

// Removes what a killed restore or backup left behind: restore's temporaries inside OpenEmu's
// folders, and the unfinished "OpenEmu-Backup-….zip.partial" files in `backupFolders` (only
// regular files of those names, never through a link). With the change lock held nothing else
// writes them; without it, pass `idle`: only those unchanged for that long go.
void removeLeftovers(const QStringList &backupFolders, std::chrono::seconds idle = std::chrono::seconds(0));

// The archive's file name for a moment in local time: OpenEmu-Backup-2024-11-03_21-07-45.zip.
QString fileName(const QDateTime &localTime);

} // namespace BackupManager
