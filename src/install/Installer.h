#pragma once

#include <QList>
#include <QString>

#include <optional>

// Checking, unpacking and placing a release's app, and keeping the one copy it replaced.
// Every operation blocks on the file system or a child process: run them off the main thread.
namespace Installer {

// --- verification

// SHA-256 of the file's bytes as 64 lower-case hex digits, read 1 MiB at a time.
// Throws PlatformError when the file cannot be read.
QString sha256(const QString &file);

// Checks the size (when expectedSize >= 1) and the checksum (when one is published) and gives
// the sentence the install notice shows. Throws FriendlyError on a mismatch, PlatformError when
// the file cannot be examined.
// `computedSHA`: the file's SHA-256 when it was already hashed as it arrived; then the file is
// not read again.
QString verify(const QString &file, qint64 expectedSize, const std::optional<QString> &expectedSHA,
               const std::optional<QString> &computedSHA = std::nullopt);

// Where a release file is downloaded: a folder of its own in Vantor's caches, named after the
// address, size and published digest, so that a partial download is resumed only for the same
// file. Folders of other files are removed (the release changed).
QString downloadFolder(const QString &url, qint64 size, const std::optional<QString> &digest);

// What a step will write, by folder. Throws FriendlyError ("Not enough free disk space. About …
// is needed while installing.") when the folders on one volume need more than it has free.
struct SpaceNeed
{
    QString folder;
    qint64 bytes = 0;
};
void checkFreeSpace(const QList<SpaceNeed> &needs);

// --- unpacking

// What unpacking the release file needs on the work folder's volume: its listed contents, twice
// for a disk image (opened into the work folder here, then the app copied out of it).
qint64 unpackedSize(const QString &releaseFile);

// Takes the app out of a downloaded disk image or zip into workDir/extracted and gives its path.
QString extractApp(const QString &releaseFile, const QString &workDir);

// Checks that an unpacked app is a working OpenEmu before it replaces anything: a readable
// Info.plist naming org.openemu.OpenEmu and a version, and its executable there. Gives the
// app's version; throws FriendlyError ("The download doesn't contain a working OpenEmu app.").
QString checkApp(const QString &app);

// Clears group and other write permission, and set-user and set-group ID, on everything in the
// app (links are not followed): what Vantor places is writable by its user only.
void tightenPermissions(const QString &app);

// The app bundle in or below a folder: in the first level that has any, the one named like
// OpenEmu, else the first. Symbolic links are never returned or entered, "__MACOSX" never searched.
std::optional<QString> findApp(const QString &folder);

// --- placement (every step journalled: see Journal.h)

// The kept previous version: the first entry ending in ".app" in the previous-versions
// folder, in listing order, or none. Never creates the folder.
std::optional<QString> previousApp();

// Puts newApp into destDir (or over `replacing`), keeping the replaced app as the one previous
// version. newApp is a work copy: on the destination's volume it is moved, not copied. The path of the app is whole at
// every moment: the new copy is staged beside it and swapped in. On a failure everything is put back. Gives where the
// new app now is.
QString place(const QString &newApp, const QString &destDir, const std::optional<QString> &replacing,
              const std::optional<QString> &oldVersion);

// Swaps the installed app with the kept previous version, the same way.
void rollback(const QString &installed);

// A version as a part of a file name: "2.0/beta" gives "2.0-beta".
QString fileNameSafe(const QString &version);

// A placement or rollback that a dead process left half done, finished or undone from what is
// on disk; then the staging and copy leftovers that no journal explains are removed. Call it
// only while holding the lock that keeps other Vantors out.
enum class Recovery { none, finishedUpdate, undidUpdate, finishedRollback, undidRollback };
Recovery recoverInterrupted();

} // namespace Installer
