// The Save states page and the Systems page's cores: read off the main thread, judged there too.

#include "app/AppModel.h"
#include "app/InstalledSystems.h"
#include "datacare/DataPlaces.h"

QCoro::Task<> AppModel::refreshCores()
{
    // The cores, and the systems as the installed app has them.
    using Read = QPair<QList<Core>, QList<SystemInfo>>;
    auto reading = m_saveStates.coresRefresh.inBackground(
        [app = m_installed ? std::optional(m_installed->url) : std::nullopt] {
            QList<Core> cores = Cores::installed(app);
            QList<SystemInfo> systems = InstalledSystems::list(app, cores);
            return Read(std::move(cores), std::move(systems));
        },
        [this](Read read) {
            m_saveStates.systems = std::move(read.second);
            assign(m_saveStates.cores, std::move(read.first), &AppModel::coresChanged);
        });
    co_await std::move(reading);
}

QCoro::Task<> AppModel::refreshSaveStates()
{
    assign(m_saveStates.loading, true, &AppModel::saveStatesChanged);
    struct Read
    {
        QList<Core> cores;
        QList<JudgedState> states;
        qsizetype leftOut = 0;
        std::optional<QString> unreachable;
    };
    auto reading = m_saveStates.refresh.inBackground(
        [app = m_installed ? std::optional(m_installed->url) : std::nullopt] {
            Read read;
            read.cores = Cores::installed(app);
            const QString folder = DataPlaces::find().saveStates;
            // Kept on another drive that isn't there: not the same as having none.
            if (!DataPlaces::reachable(folder))
                read.unreachable = folder;
            const QList<SaveState> found = SaveStates::scan(folder, &read.leftOut);
            read.states.reserve(found.size());
            for (const SaveState &state : found)
                read.states.append(SaveStateJudge::judge(state, read.cores));
            return read;
        },
        [this](Read read) {
            m_saveStates.loading = false;
            m_saveStates.states = std::move(read.states);
            m_saveStates.leftOut = read.leftOut;
            m_saveStates.unreachable = read.unreachable;
            assign(m_saveStates.cores, std::move(read.cores), &AppModel::coresChanged);
            Q_EMIT saveStatesChanged();
        });
    co_await std::move(reading);
}
