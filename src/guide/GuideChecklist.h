#pragma once

#include "guide/ProjectDocs.h"
#include "platform/BundleInfo.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// One row of the first-game checklist.
struct GuideStep
{
    int id = 0; // 1 to 4
    QString title;
    bool done = false;
    QString detail;
};

// What the guide knows about one BIOS file of the table.
struct BiosCheck
{
    enum class State { verified, unrecognised, bad, present, missing };
    QString file;
    State state = State::missing;
    std::optional<QString> path; // none when missing
    QString remark; // for a bad dump: what to do about it
    bool optional = false; // every installed core that lists it can do without it
};

// The first-game checklist: which BIOS files are on disk, and the four steps.
namespace GuideChecklist {

using FoundFiles = QMap<QString, QString>; // file name -> where it is
using FileHashes = QMap<QString, QString>; // file name -> MD5 of its contents

// The dumps a BIOS file is judged against: the project's table (with its bad dumps) and every
// file the installed cores list by name and MD5.
QList<KnownDump> knownDumps(const QList<RequiredFile> &coreFiles);

// The MD5 of each found file that the table or a known dump names (small files; read in the
// background scan).
FileHashes hashFiles(const FoundFiles &found, const QList<KnownDump> &known = ProjectDocs::knownDumps());

// Each file of a row with its state, judged against the known dumps (the project's table by
// default; tests give their own).
QList<BiosCheck> checks(const BIOSEntry &entry, const FoundFiles &found, const FileHashes &hashes,
                        const QList<KnownDump> &known = ProjectDocs::knownDumps());
// The state's word, as the CLI prints it ("verified", "unrecognised", …).
QString stateName(BiosCheck::State state);

inline constexpr int maxEntries = 20'000;

// Every file name below OpenEmu's support folder, hidden entries skipped and the "Game
// Library" and "Save States" folders not entered, looking at most at 20,000 entries. Blocks:
// run it off the main thread.
FoundFiles scanFileNames();

bool isSatisfied(const BIOSEntry &entry, const FoundFiles &found);

// How a system's row stands, the one rule both views draw: a system that needs all of its files
// takes the worst of their states, one that needs any of them the best. (Files a note calls
// optional are not in the row, so they never count.)
enum class Readiness { ready, warning, missing };
Readiness readiness(const BIOSEntry &entry, const QList<BiosCheck> &checks);
// "ready", "warning", "missing".
QString readinessName(Readiness readiness);

// The folder to open for a BIOS row: where one of its files is, else where it belongs.
QString folder(const BIOSEntry &entry, const FoundFiles &found);

QList<GuideStep> steps(bool installed, const std::optional<QString> &gamesFolder, const FoundFiles &found,
                       qsizetype controllers);

} // namespace GuideChecklist
