#pragma once

#include "datacare/Cores.h"
#include "datacare/SaveStates.h"

// Whether a save state will load with the cores installed: OpenEmu warns (and may crash) when a
// state's recorded core version differs from the installed core's.
struct JudgedState
{
    SaveState state;
    QString judgement; // matches, older-core, newer-core, other-version, core-missing, no-version, unreadable
    QString coreName; // of the installed core with its identifier, when there is one
    QString installedVersion;
};

namespace SaveStateJudge {

JudgedState judge(const SaveState &state, const QList<Core> &cores);

// Every judgement but "matches" and "no-version" (which OpenEmu opens without a warning).
bool atRisk(const JudgedState &judged);

} // namespace SaveStateJudge
