#pragma once

#include <QString>

#include <optional>

// The system's tools for release files and bundles. On macOS these are hdiutil and ditto; on
// Linux, 7zz opens disk images, unzip unpacks zips and cp copies bundles. Each runs through
// ProcessRunner and throws what it throws.
namespace SystemTools {

// Makes the disk image's contents readable under mountPoint (an existing empty folder). On
// Linux, where 7-Zip unpacks the image, only the app's folder is unpacked when it has one.
void attachDiskImage(const QString &image, const QString &mountPoint);
// Closes what attachDiskImage opened. Never throws; a failure is ignored.
void detachDiskImage(const QString &mountPoint);

// The bytes the archive's entries take when unpacked, as its own listing gives them (a zip's
// listed sizes, a disk image's contents). Throws what the listing tool throws.
qint64 listedSize(const QString &archive);

// The uncompressed total from a zip listing's summary line (`unzip -Zt`), or 0.
qint64 zipListedSize(const QString &summary);

// What the signature check of a downloaded app found.
enum class Signature { valid, uncheckable };

// On macOS: `codesign --verify --deep --strict` and `spctl --assess --type execute` (which
// includes notarization) on the new app, and, when both are signed, the same Team ID
// (`codesign -dv`) as the installed copy. Throws FriendlyError ("The downloaded app's
// signature isn't valid, so it was not installed.") on a failure or a different team. Where
// there is no codesign (Linux) it gives uncheckable. Tests stand scripts in for the two
// tools by naming their folder in VANTOR_SIGNATURE_TOOLS.
Signature checkSignature(const QString &app, const std::optional<QString> &installed);

// Copies a bundle, keeping modes and symbolic links, to a path that does not exist yet.
void copyBundle(const QString &from, const QString &to);

// Unpacks a zip archive into folder, keeping modes and symbolic links; never unpacks the
// "__MACOSX" resource-fork folder.
void unpackZip(const QString &archive, const QString &folder);

} // namespace SystemTools
