#include "platform/BundleInfo.h"
#include "platform/RunningApps.h"

#include <libproc.h>
#include <sys/event.h>

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <unistd.h>
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
    const uid_t me = ::getuid();
    for (pid_t pid : pids) {
        // Only this user's processes (every user's are listed, those started outside the GUI
        // session too): another user's OpenEmu is theirs to quit.
        struct proc_bsdinfo info;
        if (proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, PROC_PIDTBSDINFO_SIZE) != PROC_PIDTBSDINFO_SIZE
            || info.pbi_uid != me)
            continue;
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

bool waitForExit(const QList<qint64> &pids, std::chrono::milliseconds timeout)
{
    const int queue = ::kqueue();
    if (queue < 0)
        return false;
    // EV_RECEIPT: each registration answers for itself; ESRCH says that process is already gone.
    std::vector<struct kevent> changes(size_t(pids.size()));
    for (qsizetype i = 0; i < pids.size(); ++i)
        EV_SET(&changes[size_t(i)], uintptr_t(pids[i]), EVFILT_PROC, EV_ADD | EV_ONESHOT | EV_RECEIPT, NOTE_EXIT, 0,
               nullptr);
    std::vector<struct kevent> receipts(changes.size());
    const int registered
        = ::kevent(queue, changes.data(), int(changes.size()), receipts.data(), int(receipts.size()), nullptr);
    int waiting = 0;
    for (int i = 0; i < registered; ++i) {
        if ((receipts[size_t(i)].flags & EV_ERROR) && receipts[size_t(i)].data == 0)
            ++waiting; // registered: its exit is still to come
    }
    const QDeadlineTimer deadline(timeout);
    std::vector<struct kevent> exits(changes.size());
    while (waiting > 0 && !deadline.hasExpired()) {
        const qint64 left = std::max<qint64>(0, deadline.remainingTime());
        const struct timespec wait = {time_t(left / 1000), long(left % 1000) * 1'000'000};
        const int n = ::kevent(queue, nullptr, 0, exits.data(), int(exits.size()), &wait);
        if (n < 0 && errno != EINTR)
            break;
        for (int i = 0; i < n; ++i) {
            if (exits[size_t(i)].filter == EVFILT_PROC && (exits[size_t(i)].fflags & NOTE_EXIT))
                --waiting;
        }
    }
    ::close(queue);
    return waiting == 0 && registered == int(changes.size());
}

} // namespace RunningApps
