#include "platform/BundleInfo.h"
#include "platform/RunningApps.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace RunningApps {

namespace {

// The bundle a process runs from: its executable, or for a script started through an
// interpreter, the first or second word of its command line.
QString bundleOfProcess(const QString &procDir)
{
    const QString exe = QFileInfo(procDir + QStringLiteral("/exe")).symLinkTarget();
    if (QString bundle = bundleOfExecutable(exe); !bundle.isEmpty())
        return bundle;

    QFile cmdline(procDir + QStringLiteral("/cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> args = cmdline.read(64 * 1024).split('\0');
    for (qsizetype i = 0; i < std::min<qsizetype>(2, args.size()); ++i) {
        QString arg = QString::fromLocal8Bit(args[i]);
        if (QFileInfo(arg).isRelative())
            continue;
        if (QString bundle = bundleOfExecutable(arg); !bundle.isEmpty())
            return bundle;
    }
    return {};
}

} // namespace

QList<RunningApp> list()
{
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (ok)
            pids.append(pid);
    }
    std::sort(pids.begin(), pids.end());

    QList<RunningApp> apps;
    const uid_t me = ::getuid();
    for (qint64 pid : pids) {
        // Only this user's processes: another user's OpenEmu is theirs to quit.
        struct stat st;
        const QString procDir = QStringLiteral("/proc/%1").arg(pid);
        if (::stat(QFile::encodeName(procDir).constData(), &st) != 0 || st.st_uid != me)
            continue;
        const QString bundle = bundleOfProcess(procDir);
        if (bundle.isEmpty())
            continue;
        const auto meta = BundleInfo::read(bundle);
        apps.append({pid, bundle, meta && meta->identifier ? *meta->identifier : QString()});
    }
    return apps;
}

bool waitForExit(const QList<qint64> &pids, std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    std::vector<pollfd> watched;
    bool polling = false; // a kernel without pidfd_open (before 5.3): asked every 20 ms instead
    for (const qint64 pid : pids) {
        const int fd = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
        if (fd >= 0)
            watched.push_back({fd, POLLIN, 0});
        else if (errno != ESRCH)
            polling = true;
    }
    const auto alive
        = [&] { return std::any_of(pids.begin(), pids.end(), [](qint64 pid) { return ::kill(pid_t(pid), 0) == 0; }); };
    while (!watched.empty() && !deadline.hasExpired()) {
        if (::poll(watched.data(), nfds_t(watched.size()), int(std::max<qint64>(0, deadline.remainingTime()))) < 0
            && errno != EINTR)
            break;
        for (auto it = watched.begin(); it != watched.end();) {
            if (it->revents != 0) {
                ::close(it->fd);
                it = watched.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const pollfd &fd : watched)
        ::close(fd.fd);
    if (!watched.empty())
        return false;
    while (polling && alive() && !deadline.hasExpired())
        ::usleep(20'000);
    return !polling || !alive();
}

} // namespace RunningApps
