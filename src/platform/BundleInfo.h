#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The parts of an application bundle's Contents/Info.plist that Vantor reads.
// Both the XML and the binary property-list forms are understood.
struct BundleMetadata
{
    std::optional<QString> identifier; // CFBundleIdentifier, when a string
    std::optional<QString> shortVersion; // CFBundleShortVersionString, when a string
    std::optional<QString> executable; // CFBundleExecutable, when a string
    std::optional<QString> name; // CFBundleName, when a string
    std::optional<QString> bundleVersion; // CFBundleVersion, when a string
    QStringList systems; // a core's OESystemIdentifiers: the strings of that array
};

namespace BundleInfo {

// None when the folder is not a bundle with a readable dictionary for its Info.plist.
std::optional<BundleMetadata> read(const QString &bundlePath);

} // namespace BundleInfo
