#pragma once

#include <QString>

// The OpenEmu app found on this Mac.
struct InstalledApp
{
    QString url; // the bundle's path, as the folder listing gave it
    QString version; // CFBundleShortVersionString, or "unknown"
    QString bundleID; // exactly as the bundle states it
};
