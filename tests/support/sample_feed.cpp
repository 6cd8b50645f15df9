// vantor-sample-feed: a release feed on a loopback port for trying Vantor offline. It
// serves a release "v1.0.4" with a zip of a small app bundle and its checksum file, prints
// the feed's address on the first line, and runs until it is stopped (SIGTERM or SIGINT).
// With --home DIR it also writes a sandbox there: DIR/home with OpenEmu 1.0.3 installed in
// ~/Applications, and an empty DIR/Applications for the system folder.

#include "Bundles.h"
#include "TestServer.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>

#include <csignal>
#include <cstdio>

namespace {

QByteArray releaseJson(const TestServer &server, const QByteArray &archive)
{
    const QString zipUrl = server.urlText(QStringLiteral("/download/OpenEmu-Silicon.zip"));
    const QString sumUrl = server.urlText(QStringLiteral("/download/OpenEmu-Silicon.zip.sha256"));
    return QStringLiteral(R"({"tag_name": "v1.0.4", "name": "OpenEmu-Silicon 1.0.4",
  "body": "**Fixes** for save states and a *faster* library.\n\n- Controllers reconnect",
  "html_url": "https://github.com/nickybmon/OpenEmu-Silicon/releases/tag/v1.0.4",
  "published_at": "2026-11-30T10:00:00Z",
  "assets": [
    {"name": "OpenEmu-Silicon.zip", "size": %1, "browser_download_url": "%2"},
    {"name": "OpenEmu-Silicon.zip.sha256", "size": 86, "browser_download_url": "%3"}]})")
        .arg(archive.size())
        .arg(zipUrl, sumUrl)
        .toUtf8();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qsizetype homeAt = args.indexOf(QStringLiteral("--home"));
    if (homeAt > 0 && homeAt + 1 < args.size()) {
        const QString root = args[homeAt + 1];
        QDir().mkpath(root + QStringLiteral("/Applications"));
        Bundles::write(root + QStringLiteral("/home/Applications"), QStringLiteral("OpenEmu.app"),
                       {.version = QStringLiteral("1.0.3"), .executableSource = Bundles::helperProgram()});
    }

    // Signals are taken synchronously below, so block them before the server's threads start.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    TestServer server;
    const QByteArray archive = QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'); // an empty zip
    const QByteArray checksum = QCryptographicHash::hash(archive, QCryptographicHash::Sha256).toHex();
    server.file(QStringLiteral("/download/OpenEmu-Silicon.zip"), archive);
    server.file(QStringLiteral("/download/OpenEmu-Silicon.zip.sha256"), checksum + "  OpenEmu-Silicon.zip\n");
    const QString feedPath = QStringLiteral("/repos/nickybmon/OpenEmu-Silicon/releases/latest");
    server.json(feedPath, releaseJson(server, archive));

    std::printf("%s\n", qPrintable(server.urlText(feedPath)));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    return 0;
}
