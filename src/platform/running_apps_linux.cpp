#include "platform/BundleInfo.h"
#include "platform/RunningApps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace RunningApps
