// vantor-sample-feed: release feeds on a loopback port for trying Vantor offline. It builds a
// small but real OpenEmu bundle and publishes it twice: as release 1.0.3 (a zip) and as
// release 1.0.4 (a disk image with a digest and a checksum file). It prints the two feeds'
// addresses, one per line, and runs until it is stopped (SIGTERM or SIGINT).
//
//   vantor-sample-feed WORK_FOLDER

#include "SampleRelease.h"
#include "TestServer.h"

#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: vantor-sample-feed WORK_FOLDER\n");
        return 2;
    }
    QDir().mkpath(args[1]);

    // Signals are taken synchronously below, so block them before the server's threads start.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    TestServer server;
    const QString first = QStringLiteral("/repos/nickybmon/OpenEmu-Silicon/releases/1.0.3");
    const QString second = QStringLiteral("/repos/nickybmon/OpenEmu-Silicon/releases/latest");
    SampleRelease::publish(server, args[1], first, {.version = QStringLiteral("1.0.3")});
    SampleRelease::publish(server, args[1], second,
                           {.version = QStringLiteral("1.0.4"),
                            .zip = false,
                            .diskImage = true,
                            .digest = true,
                            .checksumFile = true,
                            .notes = QStringLiteral("**Faster** library loading and *fixed* save states.\n\n"
                                                    "- Controllers reconnect after sleep")});

    std::printf("%s\n%s\n", qPrintable(server.urlText(first)), qPrintable(server.urlText(second)));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    return 0;
}
