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
    std::optional<QString> path; // in the BIOS folder; none when missing
    QString remark; // for a bad dump: what to do about it
    bool optional = false; // the table, or every installed core that lists it, can do without it
    std::optional<QString> elsewhere; // missing, but a file of its name is where OpenEmu never looks
};

// The first-game checklist: which BIOS files are on disk, and the four steps.
namespace GuideChecklist {

using FoundFiles = QMap<QString, QString>; // file name, lower-cased -> where it is
using FileHashes = QMap<QString, QString>; // file name, lower-cased -> MD5 of its contents

// The dumps a BIOS file is judged against: the project's table (with its bad dumps) and every
// file the installed cores list by name and MD5.
QList<KnownDump> knownDumps(const QList<RequiredFile> &coreFiles);

// The MD5 of each found file that the table or a known dump names (small files; read in the
// background scan).
FileHashes hashFiles(const FoundFiles &found, const QList<KnownDump> &known = ProjectDocs::knownDumps());

// Each file of a row with its state, judged against the known dumps (the project's table by
// default; tests give their own).
// A file missing from the BIOS folder but found in `misplaced` says where it is.
QList<BiosCheck> checks(const BIOSEntry &entry, const FoundFiles &found, const FileHashes &hashes,
                        const QList<KnownDump> &known = ProjectDocs::knownDumps(), const FoundFiles &misplaced = {});
// The state's word, as the CLI prints it ("verified", "unrecognised", …).
QString stateName(BiosCheck::State state);

inline constexpr int maxEntries = 20'000;

// The files in OpenEmu's BIOS folder, the one place it looks for them (at most 20,000). Blocks:
// run it off the main thread.
FoundFiles scanFileNames();

// Files of these names (any case) elsewhere in OpenEmu's support folder, where OpenEmu never looks
// for them (a core's folder, Battery Saves); hidden entries, the BIOS folder, the library and the
// save states are not entered, and at most 20,000 entries looked at. Blocks.
FoundFiles misplacedFiles(const QStringList &names);

// Whether the row's files OpenEmu needs are all in the BIOS folder (for a row of optional files,
// one of them): what step 3 counts.
bool isSatisfied(const BIOSEntry &entry, const FoundFiles &found);

// How a system's row stands, the one rule both views draw, OpenEmu's: the worst state of the
// files it can't do without; optional files never hold it back (a row of optional files only
// takes the best of those there).
enum class Readiness { ready, warning, missing };
Readiness readiness(const BIOSEntry &entry, const QList<BiosCheck> &checks);
// "ready", "warning", "missing".
QString readinessName(Readiness readiness);

// The folder to open for a BIOS row: OpenEmu's BIOS folder, where its files belong.
QString folder(const BIOSEntry &entry, const FoundFiles &found);

// The first-game steps. The games folder step is done with a folder chosen, or when the user
// marked it done (their games are in OpenEmu's library already).
QList<GuideStep> steps(bool installed, const std::optional<QString> &gamesFolder, const FoundFiles &found,
                       qsizetype controllers, bool gamesStepDone = false);

} // namespace GuideChecklist
