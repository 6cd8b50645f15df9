#include "app/DeletionGuard.h"

#include "app/SaveStateJudge.h"
#include "base/Settings.h"
#include "datacare/BackupManager.h"
#include "datacare/Cores.h"
#include "datacare/DataPlaces.h"

#include <QCryptographicHash>

#include <algorithm>

namespace DeletionGuard {

namespace {

// The set, as OpenEmu would see it: which states, made with what, saved when.
QString fingerprint(const QList<SaveState> &states)
{
    QStringList lines;
    for (const SaveState &state : states)
        lines.append(state.path + QLatin1Char('\n') + state.coreVersion.value_or(QString()) + QLatin1Char('\n')
                     + state.date.toString(Qt::ISODateWithMs));
    lines.sort();
    return QString::fromLatin1(
        QCryptographicHash::hash(lines.join(QLatin1Char('\0')).toUtf8(), QCryptographicHash::Sha256).toHex());
}

} // namespace

QList<SaveState> statesAtRisk(const std::optional<QString> &app)
{
    const QList<Core> cores = Cores::installed(app);
    const auto desmume = std::find_if(cores.begin(), cores.end(), [](const Core &core) {
        return core.identifier.compare(QStringLiteral("org.openemu.desmume"), Qt::CaseInsensitive) == 0;
    });
    QList<SaveState> listed;
    for (const SaveState &state : SaveStates::scan(DataPlaces::find().saveStates)) {
        if (state.readable
            && SaveStateJudge::deletedAtLaunch(state, desmume == cores.end() ? QString() : desmume->version))
            listed.append(state);
    }
    return listed;
}

Result protect(const std::optional<QString> &app, bool alreadyBackedUp)
{
    const QList<SaveState> listed = statesAtRisk(app);
    Result result{int(listed.size()), false};
    if (listed.isEmpty())
        return result;
    const QString set = fingerprint(listed);
    if (set == Settings::deletionBackupSet())
        return result;
    if (!alreadyBackedUp) {
        QStringList bundles;
        for (const SaveState &state : listed)
            bundles.append(state.path);
        BackupManager::backUpStates(bundles);
    }
    Settings::setDeletionBackupSet(set);
    result.fresh = true;
    return result;
}

QString notice(int states)
{
    return (states == 1
                ? QStringLiteral("1 save state that OpenEmu will offer to delete when it opens was backed up "
                                 "first.")
                : QStringLiteral("%1 save states that OpenEmu will offer to delete when it opens were backed up "
                                 "first.")
                      .arg(states))
           + QStringLiteral(" When it asks, choose \u201CKeep for Now\u201D to keep them.");
}

} // namespace DeletionGuard
