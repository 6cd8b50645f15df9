#pragma once

#include "datacare/BackupItem.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

// The backup archive: a zip of OpenEmu's save states, library and settings, with entries
// relative to ~/Library. Every operation blocks (folder walks, zip and unzip): run them off the
// main thread.
namespace BackupManager {

// The three items, with whether each exists and its size; an item is proposed when it exists.
QList<BackupItem> items();

// Writes "OpenEmu-Backup-<local time>.zip" into folder from the items both included and
// existing, and gives its path. A half-written zip is removed on failure.
QString create(const QList<BackupItem> &items, const QString &folder);

// The archive's entry names, when it looks like a Vantor backup: every name under
// "Application Support/OpenEmu/" or "Preferences/", none absolute or with "..", and no link
// that points, or leads an entry, outside the Library folder. Changes nothing on disk.
QStringList validate(const QString &zip);

// Validates, then unpacks into the Library folder, replacing same-named files.
void restore(const QString &zip);

// The archive's file name for a moment in local time: OpenEmu-Backup-2024-11-03_21-07-45.zip.
QString fileName(const QDateTime &localTime);

} // namespace BackupManager
