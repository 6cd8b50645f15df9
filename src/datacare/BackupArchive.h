#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

// Backup zips, written and read in-process with libarchive. Every read goes through its
// seekable zip reader, so that the view that judges an archive is the view that unpacks it.
// Every operation blocks: run them off the main thread.
namespace BackupArchive {

struct Entry
{
    enum class Type { file, folder, link, other };
    QString name; // "/"-separated, relative to the folder the archive was made from
    Type type = Type::other;
    qint64 size = 0; // files: the bytes the entry says it holds
    qint64 modified = 0; // seconds since the epoch, as stored
    QString linkTarget; // links: the stored target
};

// Bytes written or unpacked so far.
using Progress = std::function<void(qint64 bytesDone)>;

// Every entry of the archive. Throws FriendlyError ("Vantor can't read that zip.", with the
// path and the reason) when the file is missing, unreadable or not a zip, or when an entry has
// no name that can be read as UTF-8.
QList<Entry> list(const QString &zip);

// How many entries an archive holds and how many bytes of file data.
struct Summary
{
    qsizetype entries = 0;
    qint64 bytes = 0;
};

// A folder or file to back up, and the name it is stored under in the zip.
struct Root
{
    QString source;
    QString stored;
};
// A small file of the backup's own, written from memory.
struct Note
{
    QString stored;
    QByteArray bytes;
};

// Writes a new zip at `zip`: the notes, then each root (a root that is itself a link is stored
// with its contents under its own name; links inside the roots stay links). Gives what it wrote.
// Throws PlatformError or FriendlyError; a partly written file is left for the caller to remove.
Summary write(const QString &zip, const QList<Root> &roots, const QList<Note> &notes, const Progress &progress);

// Reads every entry back in full (libarchive checks each CRC) and gives what it found. Throws
// FriendlyError ("Vantor can't read that zip.") with what went wrong in the details.
Summary readBack(const QString &zip);

// Where a restore may write. `folders` map a folder's name in the zip (a "*" stands for any one
// name, as in "…/*/Battery Saves") to where it goes on disk now (the "*" there takes the name it
// stood for); anything else goes below `base` under its own name. At those folders a link is the
// user's choice and is followed (OpenEmu's folder, the top folder of each kind of data); below
// the deepest of them that holds an entry, nothing is written through a link, and a link is made
// only when it leads, through the links on disk, to somewhere inside that folder. `skipped`
// entries (the backup's own notes) are never written.
struct Placement
{
    struct Mapped
    {
        QString stored;
        QString disk;
    };
    QString base;
    QList<Mapped> folders;
    QStringList skipped;

    // The deepest mapped folder that holds `relative` (or is it, for a folder), as named in the
    // zip; empty when none.
    QString topFor(const QString &relative, bool isFolder) const;
    // Where a top goes on disk.
    QString diskOf(const QString &top) const;
    // The top's own place on disk, its links resolved.
    QString realTop(const QString &top) const;
    // The entries that would pass through a link on disk, or make a link leading elsewhere: the
    // paths of those links, or "name -> target". Empty when the archive can be unpacked here.
    QStringList blocked(const QList<Entry> &entries) const;
};

// Unpacks every entry as `placement` allows: each file and link is written under a temporary
// name in its folder and renamed over the old one, so an existing file is replaced whole or not
// at all. A file is not written past the size its entry gives. Judge the archive (list(),
// Placement::blocked()) before calling this; what gets past that is refused here, part-way.
// Gives the entries not written because the file system took their name for one written before
// (names that differ only in case or Unicode form, on the Mac's file system).
QStringList extract(const QString &zip, const Placement &placement, const Progress &progress);

// Removes what a restore killed part-way left below each of `tops`: files and links named as
// extract() names its temporaries, and nothing else. A link at a top is followed (the user's),
// none below it. With `idle`, only those unchanged (by their status-change time, which no one
// can set) for that long: a restore under way writes its temporaries as it goes.
void removeLeftovers(const QStringList &tops, std::chrono::seconds idle = std::chrono::seconds(0));

} // namespace BackupArchive
