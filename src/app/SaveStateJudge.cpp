#include "app/SaveStateJudge.h"

#include "install/VersionChecker.h"

namespace SaveStateJudge {

JudgedState judge(const SaveState &state, const QList<Core> &cores)
{
    JudgedState judged{state, QStringLiteral("unreadable"), {}, {}};
    if (!state.readable)
        return judged;
    const auto core = std::find_if(cores.begin(), cores.end(), [&](const Core &c) {
        return c.identifier.compare(state.coreIdentifier, Qt::CaseInsensitive) == 0;
    });
    if (core == cores.end()) {
        judged.judgement = QStringLiteral("core-missing");
        return judged;
    }
    judged.coreName = core->name;
    judged.installedVersion = core->version;
    if (!state.coreVersion || state.coreVersion->isEmpty()) {
        judged.judgement = QStringLiteral("no-version");
        return judged;
    }
    // Versions without numbers (or a core that states none) can't be put in order.
    if (VersionChecker::numbers(*state.coreVersion).isEmpty() || VersionChecker::numbers(core->version).isEmpty()) {
        judged.judgement
            = *state.coreVersion == core->version ? QStringLiteral("matches") : QStringLiteral("other-version");
        return judged;
    }
    switch (VersionChecker::compare(*state.coreVersion, core->version)) {
    case VersionChecker::Ordering::same: judged.judgement = QStringLiteral("matches"); break;
    case VersionChecker::Ordering::ascending: judged.judgement = QStringLiteral("older-core"); break;
    case VersionChecker::Ordering::descending: judged.judgement = QStringLiteral("newer-core"); break;
    }
    return judged;
}

bool atRisk(const JudgedState &judged)
{
    return judged.judgement != QStringLiteral("matches") && judged.judgement != QStringLiteral("no-version");
}

} // namespace SaveStateJudge
