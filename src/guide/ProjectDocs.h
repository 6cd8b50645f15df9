#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

// A system OpenEmu-Silicon lists, with the core that runs it.
struct SystemInfo
{
    QUuid id;
    QString name;
    QString core;
    std::optional<QString> bios; // a file name, names, or a sentence; none when no BIOS is needed
    QString note;
    QString identifier; // OpenEmu's ("openemu.system.scd"), when read from the installed app
};

// BIOS files a system needs, by file name (found whatever their case, as on the Mac's volume).
struct BIOSEntry
{
    QUuid id;
    QString system;
    QStringList files; // in display order, never empty
    bool anyOf = false; // one of the files is enough; otherwise all are needed (OpenEmu's own rule)
    bool optional = false; // only some games need it: every file is optional
    QString note;
    QString systemId; // OpenEmu's identifier of the system ("openemu.system.psx")
    QStringList optionalFiles; // those of `files` its cores can do without
};

// A BIOS dump known by its contents (MD5, as the emulators' documentation publishes them).
struct KnownDump
{
    QString file;
    QString md5; // lower-case hex
    bool bad = false; // a known-bad dump of that file
    QString remark; // what to do about a bad one
    bool fromCore = false; // listed by an installed core, not the project's table
    bool optional = false; // the core that lists it can do without it
};

// The fixed tables of what OpenEmu-Silicon supports, built once on first use.
namespace ProjectDocs {

// Known-good dumps of the BIOS files (a name may have several), and the known-bad ones.
const QList<KnownDump> &knownDumps();

const QList<SystemInfo> &systems();
const QList<BIOSEntry> &biosTable();

} // namespace ProjectDocs
