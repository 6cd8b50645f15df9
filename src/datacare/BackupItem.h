#pragma once

#include <QString>

// One selectable part of OpenEmu's data on the Backup page.
struct BackupItem
{
    QString id; // "states", "library" or "prefs"
    QString title;
    QString detail;
    QString relativePath; // below ~/Library, "/"-separated; also the path inside the zip
    qint64 size = 0;
    bool exists = false;
    bool include = true;
};
