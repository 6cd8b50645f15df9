#pragma once

#include <QString>

// One of OpenEmu's places on the Tidy page, with what it takes on disk.
struct TidyRow
{
    QString id; // "app", "data", "prefs", "caches" or "previous"
    QString title;
    QString url;
    qint64 size = 0;
    bool exists = false;
};
