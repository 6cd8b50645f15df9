#pragma once

#include <QString>
#include <QStringList>

// One selectable part of OpenEmu's data on the Backup page.
struct BackupItem
{
    QString id; // "states", "library", "battery", "bios", "screenshots" or "prefs"
    QString title;
    QString detail;
    QString relativePath; // its default place below ~/Library, "/"-separated; its name in the zip
    qint64 size = 0;
    bool exists = false;
    bool include = true;
    // What is backed up: each source (where OpenEmu keeps it now, maybe on another drive) and
    // the name it is stored under in the zip (its default place, so a zip restores anywhere).
    QStringList sources;
    QStringList stored;
    bool reachable = true; // false when a folder OpenEmu moved elsewhere can't be reached
};
