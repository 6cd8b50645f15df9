#pragma once

#include "guide/ProjectDocs.h"

#include <QList>
#include <QMap>
#include <QString>

// One row of the first-game checklist.
struct GuideStep
{
    int id = 0; // 1 to 4
    QString title;
    bool done = false;
    QString detail;
};

// The first-game checklist: which BIOS files are on disk, and the four steps.
namespace GuideChecklist {

using FoundFiles = QMap<QString, QString>; // file name -> where it is

inline constexpr int maxEntries = 20'000;

// Every file name below OpenEmu's support folder, hidden entries skipped and the "Game
// Library" and "Save States" folders not entered, looking at most at 20,000 entries. Blocks:
// run it off the main thread.
FoundFiles scanFileNames();

bool isSatisfied(const BIOSEntry &entry, const FoundFiles &found);

// The folder to open for a BIOS row: where one of its files is, else where it belongs.
QString folder(const BIOSEntry &entry, const FoundFiles &found);

QList<GuideStep> steps(bool installed, const std::optional<QString> &gamesFolder, const FoundFiles &found,
                       qsizetype controllers);

} // namespace GuideChecklist
