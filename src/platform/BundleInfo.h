#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// A BIOS file a core asks for (its OEGameCoreOptions → system → OERequiredFiles).
struct RequiredFile
{
    QString system;
    QString name; // a plain file name
    QString md5; // lower-case hex
    QString description;
    qint64 size = -1; // -1 when not given
    bool optional = false;
};

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
    QList<RequiredFile> requiredFiles; // a core's BIOS files; entries of the wrong shape are left out
};

namespace BundleInfo {

// None when the folder is not a bundle with a readable dictionary for its Info.plist.
std::optional<BundleMetadata> read(const QString &bundlePath);

// The top-level entries of a property list (XML or binary) that is a dictionary: a string's
// text, or none for a value of another type. Empty when it isn't one, or nests too deep.
QMap<QString, std::optional<QString>> stringsOf(const QByteArray &bytes);

// A top-level date entry of a property list (a save state's Timestamp), in UTC; none when the
// list can't be read or the entry is missing or not a date.
std::optional<QDateTime> dateOf(const QByteArray &bytes, const char *key);

} // namespace BundleInfo
