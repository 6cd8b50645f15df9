#include "Bundles.h"
#include "FeedServer.h"
#include "SampleRelease.h"
#include "TestHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QJsonObject json() const
    {
        const QList<QByteArray> lines = out.trimmed().split('\n');
        return QJsonDocument::fromJson(lines.last()).object();
    }
};

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void latestAsJson();
    void latestAsText();
    void statusAsJson();
    void failuresAndUsage();
    void installUpdateRollback();
    void declinedWithoutATerminal();
    void backupRestoreRoundTrip();
    void guideReportsBiosMarks();
    void demoContinuesOneStory();

private:
    Run run(const QStringList &arguments, const QString &feedUrl);

    TestHome &m_home = TestHome::shared();
    FeedServer m_server;
};

Run CliTest::run(const QStringList &arguments, const QString &feedUrl)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice()); // no terminal to ask
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VANTOR_FEED_URL"), feedUrl);
    env.insert(QStringLiteral("VANTOR_HOST"), QStringLiteral("macos-14.5.0-arm64"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VANTOR_CLI), arguments);
    if (!process.waitForFinished(60'000))
        qFatal("vantor-cli did not finish");
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

void CliTest::init()
{
    m_home.reset();
    const QString hex = QStringLiteral("ab").repeated(32);
    m_server.file(QStringLiteral("/OpenEmu.dmg.sha256"), hex.toUtf8() + "  OpenEmu.dmg\n");
    m_server.json(QStringLiteral("/feed"),
                  QStringLiteral("{\"tag_name\":\"v1.0.4\",\"name\":\"OpenEmu 1.0.4\",\"body\":null,"
                                 "\"published_at\":\"2026-11-30T10:00:00Z\",\"assets\":["
                                 "{\"name\":\"Source.zip\",\"size\":5,\"browser_download_url\":null},"
                                 "{\"name\":\"OpenEmu.zip\",\"size\":100,\"browser_download_url\":\"%1\"},"
                                 "{\"name\":\"OpenEmu.dmg\",\"size\":200,\"browser_download_url\":\"%2\"},"
                                 "{\"name\":\"OpenEmu.dmg.sha256\",\"size\":80,\"browser_download_url\":\"%3\"}]}")
                      .arg(m_server.urlText(QStringLiteral("/OpenEmu.zip")),
                           m_server.urlText(QStringLiteral("/OpenEmu.dmg")),
                           m_server.urlText(QStringLiteral("/OpenEmu.dmg.sha256")))
                      .toUtf8());
}

void CliTest::latestAsJson()
{
    const Run result
        = run({QStringLiteral("--json"), QStringLiteral("latest")}, m_server.urlText(QStringLiteral("/feed")));
    QCOMPARE(result.exitCode, 0);
    const QJsonObject object = result.json();
    QCOMPARE(object.value(QStringLiteral("tagName")).toString(), QStringLiteral("v1.0.4"));
    QCOMPARE(object.value(QStringLiteral("name")).toString(), QStringLiteral("OpenEmu 1.0.4"));
    QVERIFY(object.value(QStringLiteral("body")).isNull());
    QVERIFY(object.value(QStringLiteral("htmlUrl")).isNull());
    QCOMPARE(object.value(QStringLiteral("pickedAsset")).toString(), QStringLiteral("OpenEmu.dmg"));
    QCOMPARE(object.value(QStringLiteral("expectedChecksum")).toString(), QStringLiteral("ab").repeated(32));
    const QJsonArray assets = object.value(QStringLiteral("assets")).toArray();
    QCOMPARE(assets.size(), 4);
    QVERIFY(assets[0].toObject().value(QStringLiteral("browserDownloadUrl")).isNull());
    QCOMPARE(assets[2].toObject().value(QStringLiteral("size")).toInt(), 200);
    QCOMPARE(assets[2].toObject().value(QStringLiteral("browserDownloadUrl")).toString(),
             m_server.urlText(QStringLiteral("/OpenEmu.dmg")));
}

void CliTest::latestAsText()
{
    // --feed-url wins over the environment.
    const Run result
        = run({QStringLiteral("--feed-url"), m_server.urlText(QStringLiteral("/feed")), QStringLiteral("latest")},
              QStringLiteral("http://127.0.0.1:1/nowhere"));
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains("Latest release: v1.0.4 (OpenEmu 1.0.4)"));
    QVERIFY(result.out.contains("Would install: OpenEmu.dmg"));
}

void CliTest::statusAsJson()
{
    Bundles::write(m_home.userApplications(), QStringLiteral("OpenEmu.app"),
                   {.identifier = QStringLiteral("org.openemu.OpenEmu"),
                    .version = QStringLiteral("1.0.3"),
                    .format = Bundles::PlistFormat::binary});
    const Run result
        = run({QStringLiteral("--json"), QStringLiteral("status")}, m_server.urlText(QStringLiteral("/feed")));
    QCOMPARE(result.exitCode, 0);
    const QJsonObject object = result.json();
    const QJsonObject host = object.value(QStringLiteral("host")).toObject();
    QCOMPARE(host.value(QStringLiteral("macVersion")).toString(), QStringLiteral("14.5.0"));
    QVERIFY(host.value(QStringLiteral("macOSRequirement")).toBool());
    QVERIFY(host.value(QStringLiteral("appleSilicon")).toBool());
    const QJsonObject installed = object.value(QStringLiteral("installed")).toObject();
    QCOMPARE(installed.value(QStringLiteral("url")).toString(),
             m_home.userApplications() + QStringLiteral("/OpenEmu.app"));
    QCOMPARE(installed.value(QStringLiteral("version")).toString(), QStringLiteral("1.0.3"));
    QCOMPARE(object.value(QStringLiteral("latest")).toString(), QStringLiteral("v1.0.4"));
    QVERIFY(object.value(QStringLiteral("updateAvailable")).toBool());
    QVERIFY(!object.value(QStringLiteral("hasPrevious")).toBool());
    QCOMPARE(object.value(QStringLiteral("bundleID")).toString(), QStringLiteral("org.openemu.OpenEmu"));
    QVERIFY(!object.contains(QStringLiteral("error")));
}

void CliTest::failuresAndUsage()
{
    m_server.json(QStringLiteral("/limited"), "rate limited", 429);
    const Run limited
        = run({QStringLiteral("--json"), QStringLiteral("latest")}, m_server.urlText(QStringLiteral("/limited")));
    QCOMPARE(limited.exitCode, 1);
    const QJsonObject error = limited.json().value(QStringLiteral("error")).toObject();
    QCOMPARE(
        error.value(QStringLiteral("message")).toString(),
        QStringLiteral("GitHub is limiting requests from this network right now. Wait a few minutes and try again."));
    QCOMPARE(error.value(QStringLiteral("details")).toString(), QStringLiteral("HTTP 429\nrate limited"));
    QVERIFY(limited.err.startsWith("GitHub is limiting"));
    QVERIFY(!limited.err.contains("HTTP 429"));

    const Run verbose
        = run({QStringLiteral("--verbose"), QStringLiteral("latest")}, m_server.urlText(QStringLiteral("/limited")));
    QCOMPARE(verbose.exitCode, 1);
    QVERIFY(verbose.err.contains("HTTP 429"));
    QVERIFY(verbose.out.isEmpty());

    // Offline, status still reports what it knows, with the failure beside it.
    const Run offline
        = run({QStringLiteral("--json"), QStringLiteral("status")}, QStringLiteral("http://127.0.0.1:1/feed"));
    QCOMPARE(offline.exitCode, 1);
    QVERIFY(offline.json().value(QStringLiteral("latest")).isNull());
    QCOMPARE(offline.json().value(QStringLiteral("error")).toObject().value(QStringLiteral("message")).toString(),
             QStringLiteral("Can't reach the internet right now. Check your connection and try again."));

    QCOMPARE(run({QStringLiteral("frobnicate")}, {}).exitCode, 2);
    QCOMPARE(run({}, {}).exitCode, 2);
    QCOMPARE(run({QStringLiteral("--no-such-option"), QStringLiteral("status")}, {}).exitCode, 2);
}

void CliTest::installUpdateRollback()
{
    const QString feed = QStringLiteral("/repos/nickybmon/OpenEmu-Silicon/releases/latest");
    SampleRelease::publish(m_server, m_home.path(QStringLiteral("release")), feed,
                           {.version = QStringLiteral("1.0.3")});
    const QString app = m_home.userApplications() + QStringLiteral("/OpenEmu.app");

    const Run installed = run({QStringLiteral("--yes"), QStringLiteral("install")}, m_server.urlText(feed));
    QCOMPARE(installed.exitCode, 0);
    QVERIFY2(installed.out.startsWith("Installed to " + app.toUtf8() + ". Size matches."), installed.out.constData());

    const Run current = run({QStringLiteral("--json"), QStringLiteral("update")}, m_server.urlText(feed));
    QCOMPARE(current.exitCode, 0);
    QCOMPARE(current.json().value(QStringLiteral("notice")).toString(),
             QStringLiteral("OpenEmu-Silicon 1.0.3 is up to date."));

    SampleRelease::publish(m_server, m_home.path(QStringLiteral("release")), feed,
                           {.version = QStringLiteral("1.0.4"), .zip = false, .diskImage = true, .digest = true});
    const Run updated
        = run({QStringLiteral("--json"), QStringLiteral("--yes"), QStringLiteral("update")}, m_server.urlText(feed));
    QCOMPARE(updated.exitCode, 0);
    QVERIFY(updated.json()
                .value(QStringLiteral("notice"))
                .toString()
                .contains(QStringLiteral("Size and SHA-256 checksum match the published values.")));

    const Run rolledBack = run({QStringLiteral("--yes"), QStringLiteral("rollback")}, m_server.urlText(feed));
    QCOMPARE(rolledBack.exitCode, 0);
    QCOMPARE(rolledBack.out, QByteArray("Rolled back to the previous version.\n"));

    const Run status = run({QStringLiteral("--json"), QStringLiteral("status")}, m_server.urlText(feed));
    QCOMPARE(status.json().value(QStringLiteral("installed")).toObject().value(QStringLiteral("version")).toString(),
             QStringLiteral("1.0.3"));
    QVERIFY(status.json().value(QStringLiteral("hasPrevious")).toBool());

    const Run tidy = run({QStringLiteral("--json"), QStringLiteral("tidy")}, m_server.urlText(feed));
    const QJsonArray rows = tidy.json().value(QStringLiteral("rows")).toArray();
    QCOMPARE(rows.size(), 5); // the kept previous version is listed too
    QCOMPARE(rows[0].toObject().value(QStringLiteral("url")).toString(), app);
}

void CliTest::declinedWithoutATerminal()
{
    // A rollback asks first; with no terminal and no --yes the answer is no.
    const QString feed = QStringLiteral("/feed");
    Bundles::write(m_home.userApplications(), QStringLiteral("OpenEmu.app"), {.version = QStringLiteral("1.0.4")});
    Bundles::write(m_home.path(QStringLiteral("Library/Application Support/Vantor/Previous versions")),
                   QStringLiteral("OpenEmu 1.0.3.app"), {.version = QStringLiteral("1.0.3")});
    const Run declined = run({QStringLiteral("--json"), QStringLiteral("rollback")}, m_server.urlText(feed));
    QCOMPARE(declined.exitCode, 3);
    QVERIFY(declined.json().value(QStringLiteral("notice")).isNull());

    QCOMPARE(run({QStringLiteral("--system"), QStringLiteral("status")}, {}).exitCode, 2);
}

void CliTest::backupRestoreRoundTrip()
{
    const QString saves = m_home.path(QStringLiteral("Library/Application Support/OpenEmu/Save States"));
    QDir().mkpath(saves);
    QFile state(saves + QStringLiteral("/slot1.oesavestate"));
    QVERIFY(state.open(QIODevice::WriteOnly));
    state.write("progress");
    state.close();
    const QString to = m_home.path(QStringLiteral("backups"));
    QDir().mkpath(to);

    const Run backup = run({QStringLiteral("--json"), QStringLiteral("--yes"), QStringLiteral("backup"),
                            QStringLiteral("--to"), to, QStringLiteral("--only"), QStringLiteral("states")},
                           QStringLiteral("http://127.0.0.1:1/feed"));
    QCOMPARE(backup.exitCode, 0);
    const QString notice = backup.json().value(QStringLiteral("notice")).toString();
    QVERIFY2(notice.startsWith(QStringLiteral("Backup saved: ") + to + QStringLiteral("/OpenEmu-Backup-")),
             qPrintable(notice));
    const QString zip = notice.mid(QStringLiteral("Backup saved: ").size());

    QVERIFY(QDir(m_home.path(QStringLiteral("Library"))).removeRecursively());
    const Run restore
        = run({QStringLiteral("--yes"), QStringLiteral("restore"), zip}, QStringLiteral("http://127.0.0.1:1/feed"));
    QCOMPARE(restore.exitCode, 0);
    QCOMPARE(restore.out, QByteArray("Backup restored. You can open OpenEmu now.\n"));
    QFile restored(saves + QStringLiteral("/slot1.oesavestate"));
    QVERIFY(restored.open(QIODevice::ReadOnly));
    QCOMPARE(restored.readAll(), QByteArray("progress"));

    // A zip that is not a backup: refused, exit 1, nothing written.
    QFile notes(to + QStringLiteral("/notes.zip"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    QVERIFY(QDir(m_home.path(QStringLiteral("Library"))).removeRecursively());
    const Run refused = run({QStringLiteral("--yes"), QStringLiteral("restore"), to + QStringLiteral("/notes.zip")},
                            QStringLiteral("http://127.0.0.1:1/feed"));
    QCOMPARE(refused.exitCode, 1);
    QVERIFY(!QFileInfo::exists(m_home.path(QStringLiteral("Library/Application Support/OpenEmu"))));
    QVERIFY(!QFileInfo::exists(m_home.path(QStringLiteral("Library/Preferences"))));

    QCOMPARE(run({QStringLiteral("backup")}, {}).exitCode, 2);
    QCOMPARE(run({QStringLiteral("restore")}, {}).exitCode, 2);
    QCOMPARE(
        run({QStringLiteral("backup"), QStringLiteral("--to"), to, QStringLiteral("--only"), QStringLiteral("roms")},
            {})
            .exitCode,
        2);
}

void CliTest::guideReportsBiosMarks()
{
    const QString bios = m_home.path(QStringLiteral("Library/Application Support/OpenEmu/BIOS"));
    QDir().mkpath(bios);
    for (const QString &name : {QStringLiteral("scph5502.bin"), QStringLiteral("dc_boot.bin")})
        QFile(bios + QLatin1Char('/') + name).open(QIODevice::WriteOnly);

    QCOMPARE(run({QStringLiteral("set-games-folder"), m_home.path(QStringLiteral("Games"))},
                 QStringLiteral("http://127.0.0.1:1/f"))
                 .exitCode,
             0);
    const Run guide = run({QStringLiteral("--json"), QStringLiteral("guide")}, QStringLiteral("http://127.0.0.1:1/f"));
    QCOMPARE(guide.exitCode, 0);
    const QJsonObject object = guide.json();
    QCOMPARE(object.value(QStringLiteral("gamesFolder")).toString(), m_home.path(QStringLiteral("Games")));
    const QJsonArray steps = object.value(QStringLiteral("steps")).toArray();
    QCOMPARE(steps.size(), 4);
    QCOMPARE(steps[2].toObject().value(QStringLiteral("detail")).toString(),
             QStringLiteral("1 system(s) have their BIOS file(s)."));
    QVERIFY(steps[1].toObject().value(QStringLiteral("done")).toBool());
    QMap<QString, bool> marks;
    for (const QJsonValue &row : object.value(QStringLiteral("bios")).toArray())
        marks.insert(row.toObject().value(QStringLiteral("system")).toString(),
                     row.toObject().value(QStringLiteral("satisfied")).toBool());
    QCOMPARE(marks.size(), 12);
    QVERIFY(marks.value(QStringLiteral("PlayStation")));
    QVERIFY(!marks.value(QStringLiteral("Sega Dreamcast"))); // needs both files
    QCOMPARE(object.value(QStringLiteral("bios")).toArray()[5].toObject().value(QStringLiteral("folder")).toString(),
             bios);
    QVERIFY(object.value(QStringLiteral("controllers")).isArray());

    const Run systems
        = run({QStringLiteral("--json"), QStringLiteral("systems")}, QStringLiteral("http://127.0.0.1:1/f"));
    const QJsonArray rows = QJsonDocument::fromJson(systems.out).array();
    QCOMPARE(rows.size(), 42);
    QVERIFY(rows[1].toObject().value(QStringLiteral("bios")).isNull());
    QCOMPARE(rows[26].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Pokémon Mini"));
}

void CliTest::demoContinuesOneStory()
{
    // The demo keeps its sandbox in the temporary folder; give it one of its own here.
    const QString tmp = m_home.path(QStringLiteral("demo-tmp"));
    QDir().mkpath(tmp);
    auto demo = [&](const QStringList &arguments) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmp);
        process.setProcessEnvironment(env);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral(VANTOR_CLI),
                      QStringList{QStringLiteral("--demo"), QStringLiteral("--json")} + arguments);
        process.waitForFinished(120'000);
        return Run{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    };
    const Run fresh = demo({QStringLiteral("--demo-reset"), QStringLiteral("status")});
    QCOMPARE(fresh.exitCode, 0);
    QVERIFY(fresh.json().value(QStringLiteral("installed")).isNull());
    QCOMPARE(fresh.json().value(QStringLiteral("latest")).toString(), QStringLiteral("v1.0.3"));
    QVERIFY(fresh.err.contains(tmp.toUtf8() + "/vantor-demo"));

    QCOMPARE(demo({QStringLiteral("--yes"), QStringLiteral("install")}).exitCode, 0);
    // Installed, the feed moves on to 1.0.4, and the next run sees both.
    const Run after = demo({QStringLiteral("status")});
    QCOMPARE(after.json().value(QStringLiteral("latest")).toString(), QStringLiteral("v1.0.4"));
    QVERIFY(after.json().value(QStringLiteral("updateAvailable")).toBool());
    QVERIFY(after.json()
                .value(QStringLiteral("installed"))
                .toObject()
                .value(QStringLiteral("url"))
                .toString()
                .startsWith(tmp + QStringLiteral("/vantor-demo/home/Applications/")));
    const Run guide = demo({QStringLiteral("guide")});
    QVERIFY(guide.json().value(QStringLiteral("steps")).toArray()[2].toObject().value(QStringLiteral("done")).toBool());
}

QTEST_MAIN(CliTest)
#include "tst_cli.moc"
