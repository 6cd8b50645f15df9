#pragma once

#include <QString>

// One of OpenEmu's places on the Tidy page, with what it takes on disk.
struct TidyRow
{
    QString id; // "app", "data", "states", "library", "screenshots", "prefs", "caches", "savedstate",
                // "previous" or "autobackups"
    QString title;
    QString url;
    qint64 size = 0;
    bool exists = false;
    bool reachable = true; // false for a folder OpenEmu keeps on a drive that isn't connected
    // OpenEmu's preferences name this folder, but it isn't one Vantor takes as OpenEmu's: it is
    // shown, never measured, revealed or moved.
    bool refused = false;
    // What the page says in place of a size when there is nothing to measure.
    QString absent() const
    {
        if (refused)
            return QStringLiteral("OpenEmu's setting points at a folder Vantor won't touch");
        return reachable ? QStringLiteral("not found") : QStringLiteral("can't be reached");
    }
};
