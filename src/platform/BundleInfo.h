#pragma once

#include <QString>

#include <optional>

// The parts of an application bundle's Contents/Info.plist that Vantor reads.
// Both the XML and the binary property-list forms are understood.
struct BundleMetadata
{
    std::optional<QString> identifier; // CFBundleIdentifier, when a string
    std::optional<QString> shortVersion; // CFBundleShortVersionString, when a string
    std::optional<QString> executable; // CFBundleExecutable, when a string
};

namespace BundleInfo {

// None when the folder is not a bundle with a readable dictionary for its Info.plist.
std::optional<BundleMetadata> read(const QString &bundlePath);

} // namespace BundleInfo
