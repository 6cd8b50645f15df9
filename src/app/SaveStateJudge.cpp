#include "app/SaveStateJudge.h"

#include "install/VersionChecker.h"

#include <QLocale>
#include <QMap>

#include <algorithm>

namespace SaveStateJudge {

namespace {

// Cores OpenEmu no longer ships; their states can never load again.
bool isRetired(const QString &identifier)
{
    for (const char *retired :
         {"org.openemu.NeoPop", "org.openemu.TwoMbit", "org.openemu.VisualBoyAdvance", "org.openemu.Dolphin_Core"}) {
        if (identifier == QLatin1String(retired))
            return true;
    }
    return false;
}

} // namespace

bool deletedAtLaunch(const SaveState &state, const QString &installedDeSmuME)
{
    const QString &core = state.coreIdentifier;
    const QString version = state.coreVersion.value_or(QString());
    const auto oneOf = [&](std::initializer_list<const char *> versions) {
        return std::any_of(versions.begin(), versions.end(),
                           [&](const char *listed) { return version == QLatin1String(listed); });
    };
    if (isRetired(core))
        return true;
    if (core == QStringLiteral("org.openemu.CrabEmu"))
        return state.system == QStringLiteral("GameGear") || state.system == QStringLiteral("SegaMasterSystem")
               || state.system == QStringLiteral("SG-1000");
    if (core == QStringLiteral("org.openemu.desmume"))
        return installedDeSmuME == QStringLiteral("0.9.12") && oneOf({"0.9.10", "0.9.10.1", "0.9.10.2", "0.9.11"});
    if (core == QStringLiteral("org.openemu.GenesisPlus"))
        return oneOf({"1.7.4", "1.7.4.1", "1.7.4.2", "1.7.4.3", "1.7.4.4", "1.7.4.5", "1.7.4.6"});
    if (core == QStringLiteral("org.openemu.Mupen64Plus"))
        return oneOf({"2.0", "2.0.1", "2.5", "2.5.1", "2.5.2", "2.5.3"});
    return false;
}

JudgedState judge(const SaveState &state, const QList<Core> &cores)
{
    JudgedState judged{state, QStringLiteral("unreadable"), {}, {}};
    if (!state.readable)
        return judged;
    // OpenEmu refuses a state of a newer format than its own (1.0).
    if (!state.formatVersion.isEmpty()
        && VersionChecker::compare(state.formatVersion, QStringLiteral("1.0"))
               == VersionChecker::Ordering::descending) {
        judged.judgement = QStringLiteral("newer-format");
        return judged;
    }
    const auto withIdentifier = [&](const QString &identifier) {
        return std::find_if(cores.begin(), cores.end(),
                            [&](const Core &c) { return c.identifier.compare(identifier, Qt::CaseInsensitive) == 0; });
    };
    const auto desmume = withIdentifier(QStringLiteral("org.openemu.desmume"));
    const auto core = withIdentifier(state.coreIdentifier);
    if (core != cores.end()) {
        judged.coreName = core->name;
        judged.installedVersion = core->version;
    }
    if (deletedAtLaunch(state, desmume == cores.end() ? QString() : desmume->version)) {
        judged.judgement = QStringLiteral("deleted-at-launch");
        return judged;
    }
    if (core == cores.end()) {
        judged.judgement = QStringLiteral("core-missing");
        return judged;
    }
    if (!state.coreVersion || state.coreVersion->isEmpty()) {
        judged.judgement = QStringLiteral("no-version");
        return judged;
    }
    // OpenEmu compares the two as text: "1.52.0" against "1.52" warns.
    if (*state.coreVersion == core->version) {
        judged.judgement = QStringLiteral("matches");
        return judged;
    }
    // Versions without numbers (or a core that states none) can't be put in order.
    if (VersionChecker::numbers(*state.coreVersion).isEmpty() || VersionChecker::numbers(core->version).isEmpty()) {
        judged.judgement = QStringLiteral("other-version");
        return judged;
    }
    switch (VersionChecker::compare(*state.coreVersion, core->version)) {
    case VersionChecker::Ordering::same: judged.judgement = QStringLiteral("other-version"); break;
    case VersionChecker::Ordering::ascending: judged.judgement = QStringLiteral("older-core"); break;
    case VersionChecker::Ordering::descending: judged.judgement = QStringLiteral("newer-core"); break;
    }
    return judged;
}

bool atRisk(const JudgedState &judged)
{
    return judged.judgement != QStringLiteral("matches") && judged.judgement != QStringLiteral("no-version");
}

QString explain(const JudgedState &judged)
{
    const QString &j = judged.judgement;
    if (j == QStringLiteral("matches"))
        return QStringLiteral("Loads");
    if (j == QStringLiteral("no-version"))
        return QStringLiteral("Loads (no core version recorded)");
    if (j == QStringLiteral("core-missing"))
        return QStringLiteral("Its core isn't installed (%1)").arg(judged.state.coreIdentifier);
    if (j == QStringLiteral("unreadable"))
        return QStringLiteral("Can't be read");
    if (j == QStringLiteral("newer-format"))
        return QStringLiteral("OpenEmu can't read it: it was saved in a newer format (%1)")
            .arg(judged.state.formatVersion);
    if (j == QStringLiteral("deleted-at-launch") && isRetired(judged.state.coreIdentifier))
        return QStringLiteral("Its core is no longer part of OpenEmu, which will offer to delete this at launch (%1)")
            .arg(judged.state.coreIdentifier);
    if (j == QStringLiteral("deleted-at-launch")) {
        const QString core = judged.coreName.isEmpty() ? judged.state.coreIdentifier : judged.coreName;
        return QStringLiteral("OpenEmu will offer to delete this at launch (made with %1)")
            .arg((core + QLatin1Char(' ') + judged.state.coreVersion.value_or(QString())).trimmed());
    }
    return QStringLiteral("OpenEmu will warn before loading it: made with %1 %2; installed: %3")
        .arg(judged.coreName, judged.state.coreVersion.value_or(QString()),
             judged.installedVersion.isEmpty() ? QStringLiteral("no version") : judged.installedVersion);
}

QString leftOutNote(qsizetype leftOut)
{
    if (leftOut <= 0)
        return {};
    static_assert(SaveStates::maxBundles == 100'000, "the sentence names the cap");
    return QStringLiteral("Vantor reads at most 100,000 save states; %1 more weren't checked.")
        .arg(QLocale().toString(leftOut));
}

QString summary(const QList<JudgedState> &states)
{
    if (states.isEmpty())
        return QStringLiteral("No save states yet.");
    int versions = 0, missing = 0, unreadable = 0, deleted = 0;
    for (const JudgedState &judged : states) {
        if (judged.judgement == QStringLiteral("core-missing"))
            ++missing;
        else if (judged.judgement == QStringLiteral("unreadable") || judged.judgement == QStringLiteral("newer-format"))
            ++unreadable;
        else if (judged.judgement == QStringLiteral("deleted-at-launch"))
            ++deleted;
        else if (atRisk(judged))
            ++versions;
    }
    if (versions + missing + unreadable + deleted == 0)
        return states.size() == 1
                   ? QStringLiteral("The save state will load with the cores installed.")
                   : QStringLiteral("All %1 save states will load with the cores installed.").arg(states.size());
    QStringList parts;
    if (versions > 0)
        parts.append(versions == 1 ? QStringLiteral("1 save state was made with a different core version and may "
                                                    "not load.")
                                   : QStringLiteral("%1 save states were made with a different core version and may "
                                                    "not load.")
                                         .arg(versions));
    if (deleted > 0)
        parts.append(deleted == 1
                         ? QStringLiteral("1 will be offered for deletion when OpenEmu starts.")
                         : QStringLiteral("%1 will be offered for deletion when OpenEmu starts.").arg(deleted));
    if (missing > 0)
        parts.append(missing == 1 ? QStringLiteral("1 needs a core that isn't installed.")
                                  : QStringLiteral("%1 need a core that isn't installed.").arg(missing));
    if (unreadable > 0)
        parts.append(unreadable == 1 ? QStringLiteral("1 can't be read.")
                                     : QStringLiteral("%1 can't be read.").arg(unreadable));
    return parts.join(QLatin1Char(' '));
}

QList<CoreChange> changedByUpdate(const QList<SaveState> &states, const QList<Core> &before, const QList<Core> &after)
{
    QMap<QString, CoreChange> byCore; // by identifier, lower case
    for (const SaveState &state : states) {
        const JudgedState now = judge(state, before);
        if (now.judgement != QStringLiteral("matches"))
            continue;
        const JudgedState then = judge(state, after);
        if (then.judgement == QStringLiteral("matches"))
            continue;
        CoreChange &change = byCore[state.coreIdentifier.toLower()];
        change.name = now.coreName;
        change.from = now.installedVersion;
        change.to = then.judgement == QStringLiteral("core-missing") ? QString() : then.installedVersion;
        ++change.states;
    }
    QList<CoreChange> changes = byCore.values();
    std::sort(changes.begin(), changes.end(),
              [](const CoreChange &a, const CoreChange &b) { return a.name.compare(b.name, Qt::CaseInsensitive) < 0; });
    return changes;
}

int stateCount(const QList<CoreChange> &changes)
{
    int count = 0;
    for (const CoreChange &change : changes)
        count += change.states;
    return count;
}

QString describe(const QList<CoreChange> &changes)
{
    const int count = stateCount(changes);
    const QString states
        = count == 1 ? QStringLiteral("1 save state was") : QStringLiteral("%1 save states were").arg(count);
    if (changes.size() == 1) {
        const CoreChange &only = changes.first();
        return only.to.isEmpty()
                   ? QStringLiteral("%1 made with %2 %3, which this update removes.").arg(states, only.name, only.from)
                   : QStringLiteral("%1 made with %2 %3, which this update replaces with %4.")
                         .arg(states, only.name, only.from, only.to);
    }
    QStringList each;
    for (const CoreChange &change : changes) {
        each.append(change.to.isEmpty() ? QStringLiteral("%1 %2 (removed)").arg(change.name, change.from)
                                        : QStringLiteral("%1 %2 with %3").arg(change.name, change.from, change.to));
    }
    return QStringLiteral("%1 made with cores this update replaces: %2.").arg(states, each.join(QStringLiteral(", ")));
}

} // namespace SaveStateJudge
