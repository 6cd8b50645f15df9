// vantor-bench: the measured side of bench/run. Each subcommand does one piece of Vantor's
// work and prints what it measured as "key=value" words on one line.
//
//   sha256 FILE            hash a file the way a download is verified
//   size DIR               measure a folder the way the Tidy page does
//   make-tree DIR COUNT    write COUNT small files below DIR (the size benchmark's input)
//   serve BYTES            serve BYTES of data at /file on a loopback port; prints the address
//   download URL DEST [SHA256]  download like an install does, watching the event loop
//                          meanwhile; with SHA256, verify afterwards as the install does
//   bios-scan              the Guide's BIOS scan of $HOME/Library/Application Support/OpenEmu
//   make-states COUNT BYTES write COUNT save states of about BYTES each into $HOME's Save States
//   make-bundles COUNT     write COUNT real save-state bundles (State and Info.plist) and two cores
//                          into $HOME's OpenEmu folder
//   judge-states           read and judge every save state the way the Save states page does
//   state-tree COUNT       build the Save states page's tree of COUNT judged states and walk it
//   backup DEST            back up $HOME's save states into the folder DEST (read-back included)
//   restore ZIP            restore a backup into $HOME/Library
//   release BYTES DIR      publish a zip release of an app carrying BYTES of payload (packed in
//                          DIR) on a loopback feed; prints the feed's and the file's addresses
//   qt-receive URL         receive a body through Qt's network stack and drop it (its least cost)
//   cpu-of COMMAND…        run a command (a standard tool to compare with) and print its wall
//                          time and the CPU time it and the children it waited for used

#include "app/SaveStateJudge.h"
#include "base/Paths.h"
#include "datacare/BackupManager.h"
#include "datacare/DataPlaces.h"
#include "demo/Bundles.h"
#include "demo/FeedServer.h"
#include "demo/SampleRelease.h"
#include "guide/GuideChecklist.h"
#include "install/Downloader.h"
#include "install/Installer.h"
#include "platform/FileUtil.h"
#include "ui/SaveStateTree.h"

#include <QCoreApplication>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <functional>

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// User and system CPU seconds of this process (every thread) so far.
struct CpuTime
{
    double user = 0;
    double system = 0;
};

double secondsOf(const timeval &time)
{
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

CpuTime cpuSoFar()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return {secondsOf(usage.ru_utime), secondsOf(usage.ru_stime)};
}

long peakResidentKiB()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int sha256(const QString &file)
{
    QElapsedTimer timer;
    timer.start();
    const QString digest = Installer::sha256(file);
    std::printf("seconds=%.4f sha256=%s\n", seconds(timer), qPrintable(digest));
    return 0;
}

int size(const QString &folder)
{
    QElapsedTimer timer;
    timer.start();
    const qint64 bytes = FileUtil::size(folder);
    std::printf("seconds=%.4f bytes=%lld\n", seconds(timer), static_cast<long long>(bytes));
    return 0;
}

int makeTree(const QString &root, int count)
{
    // 100 files per folder, folders 2 deep, a few hidden files, sizes from 0 to a few KiB.
    for (int i = 0; i < count; ++i) {
        const QString folder = QStringLiteral("%1/d%2/e%3").arg(root).arg(i / 10000).arg((i / 100) % 100);
        if (i % 100 == 0)
            QDir().mkpath(folder);
        QFile file(folder + (i % 50 == 0 ? QStringLiteral("/.h%1") : QStringLiteral("/f%1")).arg(i));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(QByteArray((i * 37) % 5000, 'x'));
    }
    return 0;
}

int biosScan()
{
    QElapsedTimer timer;
    timer.start();
    const auto found = GuideChecklist::scanFileNames();
    std::printf("seconds=%.4f files=%lld\n", seconds(timer), static_cast<long long>(found.size()));
    return 0;
}

// Save states as OpenEmu writes them are part noise, part repeated structure: half of each
// file is pseudo-random, half a repeating pattern, so deflate has real work on both halves.
int makeStates(int count, qint64 bytes)
{
    const QString root = Paths::library() + QStringLiteral("/Application Support/OpenEmu/Save States");
    quint64 seed = 0x9e3779b97f4a7c15ull;
    QByteArray data(bytes, Qt::Uninitialized);
    for (int i = 0; i < count; ++i) {
        const QString folder = root + QStringLiteral("/System %1/Game %2").arg(i % 20).arg(i / 100);
        QDir().mkpath(folder);
        for (qint64 at = 0; at < bytes; at += 8) {
            seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
            const quint64 word = at < bytes / 2 ? seed : quint64(at / 64);
            std::memcpy(data.data() + at, &word, size_t(std::min<qint64>(8, bytes - at)));
        }
        QFile file(folder + QStringLiteral("/State %1.oesavestate").arg(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            return 1;
    }
    return 0;
}

// Bundles as OpenEmu writes them: a binary Info.plist and a State, by system and game, made with
// one of two cores at one of two versions.
int makeBundles(int count)
{
    const QString support = Paths::library() + QStringLiteral("/Application Support/OpenEmu");
    Bundles::write(support + QStringLiteral("/Cores"), QStringLiteral("Snes9x.oecoreplugin"),
                   {.identifier = QStringLiteral("org.openemu.Snes9x"), .bundleVersion = QStringLiteral("1.63")});
    Bundles::write(support + QStringLiteral("/Cores"), QStringLiteral("Mupen64Plus.oecoreplugin"),
                   {.identifier = QStringLiteral("org.openemu.Mupen64Plus"), .bundleVersion = QStringLiteral("2.6.0")});
    const QByteArray state(4'096, 's');
    for (int i = 0; i < count; ++i) {
        const QString bundle
            = support
              + QStringLiteral("/Save States/System %1/Game %2/State %3.oesavestate").arg(i % 20).arg(i / 100).arg(i);
        QDir().mkpath(bundle);
        QFile file(bundle + QStringLiteral("/State"));
        if (!file.open(QIODevice::WriteOnly) || file.write(state) != state.size())
            return 1;
        const bool n64 = i % 2 == 0;
        Bundles::writePreferences(bundle + QStringLiteral("/Info.plist"),
                                  {{QStringLiteral("Name"), QStringLiteral("State %1").arg(i)},
                                   {QStringLiteral("ROM MD5"), QStringLiteral("6b47bb75d16514b6a476aa0c73a683a2")},
                                   {QStringLiteral("Core Identifier"), n64 ? QStringLiteral("org.openemu.Mupen64Plus")
                                                                           : QStringLiteral("org.openemu.Snes9x")},
                                   {QStringLiteral("Core Version"), i % 3 == 0 ? QStringLiteral("2.5.3")
                                                                    : n64      ? QStringLiteral("2.6.0")
                                                                               : QStringLiteral("1.63")},
                                   {QStringLiteral("Version"), QStringLiteral("1.0")}});
    }
    return 0;
}

int judgeStates()
{
    QElapsedTimer timer;
    timer.start();
    const QList<Core> cores = Cores::installed(std::nullopt);
    int atRisk = 0;
    const QList<SaveState> states = SaveStates::scan(DataPlaces::find().saveStates);
    for (const SaveState &state : states)
        atRisk += SaveStateJudge::atRisk(SaveStateJudge::judge(state, cores)) ? 1 : 0;
    std::printf("seconds=%.4f states=%lld at_risk=%d\n", seconds(timer), qlonglong(states.size()), atRisk);
    return 0;
}

// The page's model over many states: built once (sorted newest first), sorted again by name, then
// every row visited as a view would.
int stateTree(int count)
{
    QList<JudgedState> states;
    states.reserve(count);
    for (int i = 0; i < count; ++i) {
        SaveState state;
        state.system = QStringLiteral("System %1").arg(i % 20);
        state.game = QStringLiteral("Game %1").arg(i / 100);
        state.name = QStringLiteral("State %1").arg(i);
        state.path = QStringLiteral("/Save States/%1/%2/%3.oesavestate").arg(state.system, state.game, state.name);
        state.coreIdentifier = QStringLiteral("org.openemu.Snes9x");
        state.coreVersion = i % 3 == 0 ? QStringLiteral("1.60") : QStringLiteral("1.63");
        state.readable = true;
        states.append(SaveStateJudge::judge(state, {Core{QStringLiteral("Snes9x"),
                                                         QStringLiteral("org.openemu.Snes9x"),
                                                         QStringLiteral("1.63"),
                                                         QStringLiteral("support"),
                                                         {},
                                                         {},
                                                         {}}}));
    }
    QElapsedTimer timer;
    timer.start();
    SaveStateTree tree;
    tree.setStates(states); // newest first, as the page opens
    const double built = seconds(timer);
    // A click on the Name header: every level sorted again, in the Finder's order.
    tree.sort(SaveStateTree::name, Qt::AscendingOrder);
    qint64 rows = 0;
    std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
        for (int row = 0; row < tree.rowCount(parent); ++row) {
            const QModelIndex index = tree.index(row, 0, parent);
            (void)tree.index(row, SaveStateTree::status, parent).data();
            ++rows;
            walk(index);
        }
    };
    walk({});
    std::printf("seconds=%.4f build_seconds=%.4f rows=%lld\n", seconds(timer), built, qlonglong(rows));
    return 0;
}

int backup(const QString &folder)
{
    QList<BackupItem> items = BackupManager::items();
    for (BackupItem &item : items)
        item.include = item.id == QStringLiteral("states");
    QElapsedTimer timer;
    timer.start();
    const QString zip = BackupManager::create(items, folder);
    std::printf("seconds=%.4f zip=%s\n", seconds(timer), qPrintable(zip));
    return 0;
}

int restore(const QString &zip)
{
    QElapsedTimer timer;
    timer.start();
    BackupManager::restore(zip);
    std::printf("seconds=%.4f\n", seconds(timer));
    return 0;
}

// Blocks SIGTERM and SIGINT, so that waitForStop() can take them.
sigset_t stopSignals()
{
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    return stop;
}

void waitForStop(const sigset_t &stop)
{
    int received = 0;
    sigwait(&stop, &received);
}

int release(qint64 payloadBytes, const QString &folder)
{
    const sigset_t stop = stopSignals();
    FeedServer server;
    SampleRelease::publish(server, folder, QStringLiteral("/feed"),
                           {.version = QStringLiteral("1.0.4"), .digest = true, .payloadBytes = payloadBytes});
    std::printf("%s %s\n", qPrintable(server.urlText(QStringLiteral("/feed"))),
                qPrintable(server.urlText(QStringLiteral("/download/1.0.4/OpenEmu-Silicon.zip"))));
    std::fflush(stdout);
    waitForStop(stop);
    return 0;
}

int serve(long long bytes)
{
    const sigset_t stop = stopSignals();

    httplib::Server server;
    static const std::string block(1 << 20, '\x5a');
    server.Get("/file", [bytes](const httplib::Request &, httplib::Response &response) {
        response.set_content_provider(size_t(bytes), "application/octet-stream",
                                      [bytes](size_t offset, size_t, httplib::DataSink &sink) {
                                          const size_t n = std::min(block.size(), size_t(bytes) - offset);
                                          return sink.write(block.data(), n);
                                      });
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    std::printf("http://127.0.0.1:%d/file\n", port);
    std::fflush(stdout);
    waitForStop(stop);
    server.stop();
    thread.join();
    return 0;
}

int download(const QUrl &url, const QString &dest, const std::optional<QString> &digest)
{
    QNetworkAccessManager network;
    Downloader downloader(network);
    // As an install does: hashed on the way in only when a checksum will be compared.
    downloader.setHashing(digest.has_value());

    // A 5 ms timer stands in for a window: the longest gap between its ticks, less the 5 ms
    // it asks for, is the longest time the event loop went unserved.
    QElapsedTimer sinceTick;
    qint64 longestGapNs = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });

    int status = 1;
    QElapsedTimer timer;
    CpuTime cpuBefore;
    CpuTime cpuAfter;
    auto run = [&]() -> QCoro::Task<> {
        cpuBefore = cpuSoFar();
        timer.start();
        sinceTick.start();
        ticker.start();
        try {
            co_await downloader.download(url, dest);
            cpuAfter = cpuSoFar(); // the download alone, not the verification after it
            status = 0;
        } catch (...) {
            std::fprintf(stderr, "download failed\n");
        }
        QCoreApplication::quit();
    };
    QTimer::singleShot(0, [&] { run(); });
    QCoreApplication::exec();
    const double elapsed = seconds(timer);
    // Verification as the install does it, once the file is there.
    double verifyMs = -1;
    if (status == 0 && digest) {
        QElapsedTimer verifying;
        verifying.start();
        Installer::verify(dest, QFileInfo(dest).size(), digest, downloader.sha256());
        verifyMs = double(verifying.nsecsElapsed()) / 1e6;
    }
    // Download and verification together: what the user waits for before unpacking.
    const double checked = elapsed + std::max(0.0, verifyMs) / 1000.0;
    const double user = cpuAfter.user - cpuBefore.user;
    const double system = cpuAfter.system - cpuBefore.system;
    std::printf("seconds=%.4f checked_seconds=%.4f bytes=%lld peak_rss_mib=%.1f longest_stall_ms=%.1f "
                "verify_ms=%.2f cpu_seconds=%.3f user=%.3f system=%.3f\n",
                elapsed, checked, static_cast<long long>(QFileInfo(dest).size()), double(peakResidentKiB()) / 1024.0,
                std::max<double>(0, double(longestGapNs) / 1e6 - 5.0), verifyMs, user + system, user, system);
    return status;
}

// Qt's network stack alone, receiving a body and dropping it: the least a download through Qt
// can cost, whatever thread reads it (the figure that chose libcurl for the downloader).
int qtReceive(const QUrl &url)
{
    QNetworkAccessManager network;
    const CpuTime before = cpuSoFar();
    QElapsedTimer timer;
    timer.start();
    QNetworkReply *reply = network.get(QNetworkRequest(url));
    reply->setReadBufferSize(1024 * 1024);
    qint64 bytes = 0;
    QObject::connect(reply, &QNetworkReply::readyRead, [&] { bytes += reply->readAll().size(); });
    QObject::connect(reply, &QNetworkReply::finished, [&] {
        bytes += reply->readAll().size();
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    const CpuTime after = cpuSoFar();
    std::printf("seconds=%.4f bytes=%lld cpu_seconds=%.3f user=%.3f system=%.3f\n", seconds(timer),
                static_cast<long long>(bytes), after.user - before.user + after.system - before.system,
                after.user - before.user, after.system - before.system);
    return reply->error() == QNetworkReply::NoError ? 0 : 1;
}

// Runs a command and prints its wall time and the CPU time of it and its waited-for children
// (a shell pipeline's every stage): the standard tool's side of a CPU comparison.
int cpuOf(char *command[])
{
    QElapsedTimer timer;
    timer.start();
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(command[0], command);
        std::_Exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
        return 1;
    const double user = secondsOf(usage.ru_utime);
    const double system = secondsOf(usage.ru_stime);
    std::printf("seconds=%.4f cpu_seconds=%.3f user=%.3f system=%.3f\n", seconds(timer), user + system, user, system);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && std::strcmp(argv[1], "cpu-of") == 0)
        return cpuOf(argv + 2); // before Qt starts threads of its own
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString command = args.value(1);
    if (command == QStringLiteral("sha256") && args.size() == 3)
        return sha256(args[2]);
    if (command == QStringLiteral("size") && args.size() == 3)
        return size(args[2]);
    if (command == QStringLiteral("make-tree") && args.size() == 4)
        return makeTree(args[2], args[3].toInt());
    if (command == QStringLiteral("serve") && args.size() == 3)
        return serve(args[2].toLongLong());
    if (command == QStringLiteral("bios-scan") && args.size() == 2)
        return biosScan();
    if (command == QStringLiteral("download") && (args.size() == 4 || args.size() == 5))
        return download(QUrl(args[2]), args[3], args.size() == 5 ? std::optional(args[4]) : std::nullopt);
    if (command == QStringLiteral("qt-receive") && args.size() == 3)
        return qtReceive(QUrl(args[2]));
    if (command == QStringLiteral("make-states") && args.size() == 4)
        return makeStates(args[2].toInt(), args[3].toLongLong());
    if (command == QStringLiteral("make-bundles") && args.size() == 3)
        return makeBundles(args[2].toInt());
    if (command == QStringLiteral("judge-states") && args.size() == 2)
        return judgeStates();
    if (command == QStringLiteral("state-tree") && args.size() == 3)
        return stateTree(args[2].toInt());
    if (command == QStringLiteral("backup") && args.size() == 3)
        return backup(args[2]);
    if (command == QStringLiteral("restore") && args.size() == 3)
        return restore(args[2]);
    if (command == QStringLiteral("release") && args.size() == 4)
        return release(args[2].toLongLong(), args[3]);
    std::fprintf(
        stderr,
        "usage: vantor-bench sha256 FILE | size DIR | make-tree DIR COUNT | serve BYTES | "
        "download URL DEST [SHA256] | make-states COUNT BYTES | make-bundles COUNT | judge-states | state-tree COUNT | backup DEST | restore ZIP | release BYTES DIR | cpu-of COMMAND...\n");
    return 2;
}
