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
    // What the page says in place of a size when there is nothing to measure.
    QString absent() const { return reachable ? QStringLiteral("not found") : QStringLiteral("can't be reached"); }
};
