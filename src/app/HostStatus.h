#pragma once

#include <QMetaType>
#include <QString>

// What the Home page's "Your Mac" card and `status` report about this Mac, read once at start.
struct HostStatus
{
    QString macOSVersion; // "14.5.0"
    int minimumMacOSMajor = 0; // the oldest macOS OpenEmu-Silicon runs on
    bool meetsMacOS = false;
    bool appleSilicon = false;
    bool macOS10OrOlder = false; // the card adds a note for these

    bool operator==(const HostStatus &) const = default;
};
Q_DECLARE_METATYPE(HostStatus)
