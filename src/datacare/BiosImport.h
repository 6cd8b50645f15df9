#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Adding BIOS files by their contents: every file the user points at (in folders and zips too)
// is hashed, and each one that is a known dump is copied into OpenEmu's BIOS folder under the
// name OpenEmu looks for, whatever it was called.
namespace BiosImport {

inline constexpr qint64 maxFileBytes = 64 * 1024 * 1024; // no BIOS file comes near it
inline constexpr int maxEntries = 100'000; // files, folders and zip entries looked at
inline constexpr qint64 maxReadBytes = 4LL * 1024 * 1024 * 1024; // read and hashed, zips unpacked included

// A dump OpenEmu accepts (or, when bad, one it is known to choke on) under the name it wants.
struct Known
{
    QString name;
    QString md5; // lower-case hex
    bool bad = false;
};

struct Match
{
    QString name; // where it goes in the BIOS folder
    QString source; // where it was found, as the user would recognise it ("bios.zip: psx/x.bin")
    QByteArray bytes;
};

struct Skipped
{
    QString source;
    QString reason; // "larger than 64 MB", "not a regular file", …
};

struct Gathered
{
    QList<Match> matches; // one per name, the first found
    int unrecognised = 0; // files read that are no known dump
    QList<Skipped> skipped;
};

// Looks through each path: a file, a folder (walked, links below it never followed; zips in it
// are looked into) or a zip. Stops at maxEntries entries or maxReadBytes read, saying so in
// `skipped`. progress(done, total) counts bytes of the files and zips found. Blocks.
Gathered gather(const QStringList &paths, const QList<Known> &known,
                const std::function<void(qint64 done, qint64 total)> &progress = {});

// OpenEmu's BIOS folder, made when missing. A link there (the user moved the folder) is followed.
QString folder();

// What the BIOS folder holds under `name`: nothing, a good known dump of that name, or
// something else (an unrecognised file, a link, a folder).
enum class There { nothing, known, other };
There whatIsThere(const QString &name, const QList<Known> &known);

// Writes each match into the BIOS folder: to a temporary name, then renamed over its name (a
// link there is replaced, never written through). The temporary copies a killed import left are
// removed first. Throws PlatformError when one can't be written; those written before stay.
void place(const QList<Match> &matches);

} // namespace BiosImport
