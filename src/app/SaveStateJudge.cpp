#include "app/SaveStateJudge.h"

#include "install/VersionChecker.h"

#include <QLocale>
#include <QMap>

#include <algorithm>

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
    return QStringLiteral("Made with %1 %2; installed: %3")
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
    int versions = 0, missing = 0, unreadable = 0;
    for (const JudgedState &judged : states) {
        if (judged.judgement == QStringLiteral("core-missing"))
            ++missing;
        else if (judged.judgement == QStringLiteral("unreadable"))
            ++unreadable;
        else if (atRisk(judged))
            ++versions;
    }
    if (versions + missing + unreadable == 0)
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
