#include "platform/BundleInfo.h"
#include "platform/RunningApps.h"

#include <libproc.h>

#include <algorithm>
#include <vector>

namespace RunningApps {

QList<RunningApp> list()
{
    std::vector<pid_t> pids(4096);
    const int count = proc_listallpids(pids.data(), int(pids.size() * sizeof(pid_t)));
    if (count <= 0)
        return {};
    pids.resize(std::min<size_t>(size_t(count), pids.size()));
    std::sort(pids.begin(), pids.end());

    QList<RunningApp> apps;
    char path[PROC_PIDPATHINFO_MAXSIZE];
    for (pid_t pid : pids) {
        if (proc_pidpath(pid, path, sizeof(path)) <= 0)
            continue;
        const QString bundle = bundleOfExecutable(QString::fromUtf8(path));
        if (bundle.isEmpty())
            continue;
        const auto meta = BundleInfo::read(bundle);
        apps.append({pid, bundle, meta && meta->identifier ? *meta->identifier : QString()});
    }
    return apps;
}

} // namespace RunningApps
