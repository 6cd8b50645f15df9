#pragma once

#include "datacare/Cores.h"
#include "datacare/SaveStates.h"

// Whether a save state will load with the cores installed: OpenEmu warns (and may crash) when a
// state's recorded core version differs from the installed core's.
struct JudgedState
{
    SaveState state;
    // matches, older-core, newer-core, other-version, core-missing, deleted-at-launch (the states
    // of cores OpenEmu knows to crash, and of cores it no longer ships), newer-format, no-version,
    // unreadable
    QString judgement;
    QString coreName; // of the installed core with its identifier, when there is one
    QString installedVersion;
};

namespace SaveStateJudge {

JudgedState judge(const SaveState &state, const QList<Core> &cores);

// Whether OpenEmu-Silicon offers to delete the state at launch (the states of cores it knows to
// crash with them), given the DeSmuME installed (its version, empty when none).
bool deletedAtLaunch(const SaveState &state, const QString &installedDeSmuME);

// Every judgement but "matches" and "no-version" (which OpenEmu opens without a warning).
bool atRisk(const JudgedState &judged);

// What the judgement means for the user: "Loads", "Made with Mupen64Plus 2.5.3; installed: 2.5.10", …
QString explain(const JudgedState &judged);

// The sentence over a list of states: "3 save states were made with a different core version
// and may not load.", with those whose core is missing or that can't be read said apart.
QString summary(const QList<JudgedState> &states);
// Said after the summary when a scan stopped at its cap: empty when nothing was left out.
QString leftOutNote(qsizetype leftOut);

// A core an update changes under save states that load today: `to` is empty when the new
// app no longer has the core.
struct CoreChange
{
    QString name;
    QString from;
    QString to;
    int states = 0;
};

// The cores whose change takes save states from "matches" to anything else, with how many
// states each; in name order.
QList<CoreChange> changedByUpdate(const QList<SaveState> &states, const QList<Core> &before, const QList<Core> &after);

// "12 save states were made with Mupen64Plus 2.5.3, which this update replaces with 2.6.0."
QString describe(const QList<CoreChange> &changes);
int stateCount(const QList<CoreChange> &changes);

} // namespace SaveStateJudge
