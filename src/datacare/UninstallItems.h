#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One line of the uninstall checklist: what moves to the Trash when it is ticked.
struct UninstallItem
{
    QString id; // "app", "caches", "states", "battery", "bios", "library", "screenshots", "prefs",
                // "other", "previous" or "autobackups"
    QString title;
    QStringList paths; // each moved whole
    qint64 size = 0;
    bool checked = false; // ticked at first: only what the user can't lose anything by
    QString note; // said beside it ("your safety copies")
    QList<qint64> sizes = {}; // of each path, read with the list (never on the main thread)
};

namespace UninstallItems {

// The app and each part of OpenEmu's data that is there, in the checklist's order. The app and
// the caches start ticked; the user's own data, OpenEmu's other files, the kept copy and
// Vantor's automatic backups don't. The save states, battery saves, BIOS files and library are
// split out of OpenEmu's folder (the saves some cores keep in their own folders included), and
// "other" is what is left of it. Reads the disk: run it off the main thread.
QList<UninstallItem> list(const std::optional<QString> &appPath);

// Every id, in order (what the command line's --with takes).
QStringList ids();

} // namespace UninstallItems
