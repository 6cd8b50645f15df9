#include "Bundles.h"
#include "FeedServer.h"
#include "SampleRelease.h"
#include "TestHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

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
    env.insert(u"VANTOR_FEED_URL"_s, feedUrl);
    env.insert(u"VANTOR_HOST"_s, u"macos-14.5.0-arm64"_s);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VANTOR_CLI), arguments);
    if (!process.waitForFinished(60'000))
        qFatal("vantor-cli did not finish");
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

void CliTest::init()
{
    m_home.reset();
    const QString hex = u"ab"_s.repeated(32);
    m_server.file(u"/OpenEmu.dmg.sha256"_s, hex.toUtf8() + "  OpenEmu.dmg\n");
    m_server.json(u"/feed"_s,
                  QStringLiteral("{\"tag_name\":\"v1.0.4\",\"name\":\"OpenEmu 1.0.4\",\"body\":null,"
                                 "\"published_at\":\"2026-11-30T10:00:00Z\",\"assets\":["
                                 "{\"name\":\"Source.zip\",\"size\":5,\"browser_download_url\":null},"
                                 "{\"name\":\"OpenEmu.zip\",\"size\":100,\"browser_download_url\":\"%1\"},"
                                 "{\"name\":\"OpenEmu.dmg\",\"size\":200,\"browser_download_url\":\"%2\"},"
                                 "{\"name\":\"OpenEmu.dmg.sha256\",\"size\":80,\"browser_download_url\":\"%3\"}]}")
                      .arg(m_server.urlText(u"/OpenEmu.zip"_s), m_server.urlText(u"/OpenEmu.dmg"_s),
                           m_server.urlText(u"/OpenEmu.dmg.sha256"_s))
                      .toUtf8());
}

void CliTest::latestAsJson()
{
    const Run result = run({u"--json"_s, u"latest"_s}, m_server.urlText(u"/feed"_s));
    QCOMPARE(result.exitCode, 0);
    const QJsonObject object = result.json();
    QCOMPARE(object.value(u"tagName"_s).toString(), u"v1.0.4"_s);
    QCOMPARE(object.value(u"name"_s).toString(), u"OpenEmu 1.0.4"_s);
    QVERIFY(object.value(u"body"_s).isNull());
    QVERIFY(object.value(u"htmlUrl"_s).isNull());
    QCOMPARE(object.value(u"pickedAsset"_s).toString(), u"OpenEmu.dmg"_s);
    QCOMPARE(object.value(u"expectedChecksum"_s).toString(), u"ab"_s.repeated(32));
    const QJsonArray assets = object.value(u"assets"_s).toArray();
    QCOMPARE(assets.size(), 4);
    QVERIFY(assets[0].toObject().value(u"browserDownloadUrl"_s).isNull());
    QCOMPARE(assets[2].toObject().value(u"size"_s).toInt(), 200);
    QCOMPARE(assets[2].toObject().value(u"browserDownloadUrl"_s).toString(), m_server.urlText(u"/OpenEmu.dmg"_s));
}

void CliTest::latestAsText()
{
    // --feed-url wins over the environment.
    const Run result
        = run({u"--feed-url"_s, m_server.urlText(u"/feed"_s), u"latest"_s}, u"http://127.0.0.1:1/nowhere"_s);
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains("Latest release: v1.0.4 (OpenEmu 1.0.4)"));
    QVERIFY(result.out.contains("Would install: OpenEmu.dmg"));
}

void CliTest::statusAsJson()
{
    Bundles::write(
        m_home.userApplications(), u"OpenEmu.app"_s,
        {.identifier = u"org.openemu.OpenEmu"_s, .version = u"1.0.3"_s, .format = Bundles::PlistFormat::binary});
    const Run result = run({u"--json"_s, u"status"_s}, m_server.urlText(u"/feed"_s));
    QCOMPARE(result.exitCode, 0);
    const QJsonObject object = result.json();
    const QJsonObject host = object.value(u"host"_s).toObject();
    QCOMPARE(host.value(u"macVersion"_s).toString(), u"14.5.0"_s);
    QVERIFY(host.value(u"macOSRequirement"_s).toBool());
    QVERIFY(host.value(u"appleSilicon"_s).toBool());
    const QJsonObject installed = object.value(u"installed"_s).toObject();
    QCOMPARE(installed.value(u"url"_s).toString(), m_home.userApplications() + u"/OpenEmu.app"_s);
    QCOMPARE(installed.value(u"version"_s).toString(), u"1.0.3"_s);
    QCOMPARE(object.value(u"latest"_s).toString(), u"v1.0.4"_s);
    QVERIFY(object.value(u"updateAvailable"_s).toBool());
    QVERIFY(!object.value(u"hasPrevious"_s).toBool());
    QCOMPARE(object.value(u"bundleID"_s).toString(), u"org.openemu.OpenEmu"_s);
    QVERIFY(!object.contains(u"error"_s));
}

void CliTest::failuresAndUsage()
{
    m_server.json(u"/limited"_s, "rate limited", 429);
    const Run limited = run({u"--json"_s, u"latest"_s}, m_server.urlText(u"/limited"_s));
    QCOMPARE(limited.exitCode, 1);
    const QJsonObject error = limited.json().value(u"error"_s).toObject();
    QCOMPARE(error.value(u"message"_s).toString(),
             u"GitHub is limiting requests from this network right now. Wait a few minutes and try again."_s);
    QCOMPARE(error.value(u"details"_s).toString(), u"HTTP 429\nrate limited"_s);
    QVERIFY(limited.err.startsWith("GitHub is limiting"));
    QVERIFY(!limited.err.contains("HTTP 429"));

    const Run verbose = run({u"--verbose"_s, u"latest"_s}, m_server.urlText(u"/limited"_s));
    QCOMPARE(verbose.exitCode, 1);
    QVERIFY(verbose.err.contains("HTTP 429"));
    QVERIFY(verbose.out.isEmpty());

    // Offline, status still reports what it knows, with the failure beside it.
    const Run offline = run({u"--json"_s, u"status"_s}, u"http://127.0.0.1:1/feed"_s);
    QCOMPARE(offline.exitCode, 1);
    QVERIFY(offline.json().value(u"latest"_s).isNull());
    QCOMPARE(offline.json().value(u"error"_s).toObject().value(u"message"_s).toString(),
             u"Can't reach the internet right now. Check your connection and try again."_s);

    QCOMPARE(run({u"frobnicate"_s}, {}).exitCode, 2);
    QCOMPARE(run({}, {}).exitCode, 2);
    QCOMPARE(run({u"--no-such-option"_s, u"status"_s}, {}).exitCode, 2);
}

void CliTest::installUpdateRollback()
{
    const QString feed = u"/repos/nickybmon/OpenEmu-Silicon/releases/latest"_s;
    SampleRelease::publish(m_server, m_home.path(u"release"_s), feed, {.version = u"1.0.3"_s});
    const QString app = m_home.userApplications() + u"/OpenEmu.app"_s;

    const Run installed = run({u"--yes"_s, u"install"_s}, m_server.urlText(feed));
    QCOMPARE(installed.exitCode, 0);
    QVERIFY2(installed.out.startsWith("Installed to " + app.toUtf8() + ". Size matches."), installed.out.constData());

    const Run current = run({u"--json"_s, u"update"_s}, m_server.urlText(feed));
    QCOMPARE(current.exitCode, 0);
    QCOMPARE(current.json().value(u"notice"_s).toString(), u"OpenEmu-Silicon 1.0.3 is up to date."_s);

    SampleRelease::publish(m_server, m_home.path(u"release"_s), feed,
                           {.version = u"1.0.4"_s, .zip = false, .diskImage = true, .digest = true});
    const Run updated = run({u"--json"_s, u"--yes"_s, u"update"_s}, m_server.urlText(feed));
    QCOMPARE(updated.exitCode, 0);
    QVERIFY(updated.json()
                .value(u"notice"_s)
                .toString()
                .contains(u"Size and SHA-256 checksum match the published values."_s));

    const Run rolledBack = run({u"--yes"_s, u"rollback"_s}, m_server.urlText(feed));
    QCOMPARE(rolledBack.exitCode, 0);
    QCOMPARE(rolledBack.out, QByteArray("Rolled back to the previous version.\n"));

    const Run status = run({u"--json"_s, u"status"_s}, m_server.urlText(feed));
    QCOMPARE(status.json().value(u"installed"_s).toObject().value(u"version"_s).toString(), u"1.0.3"_s);
    QVERIFY(status.json().value(u"hasPrevious"_s).toBool());

    const Run tidy = run({u"--json"_s, u"tidy"_s}, m_server.urlText(feed));
    const QJsonArray rows = tidy.json().value(u"rows"_s).toArray();
    QCOMPARE(rows.size(), 5); // the kept previous version is listed too
    QCOMPARE(rows[0].toObject().value(u"url"_s).toString(), app);
}

void CliTest::declinedWithoutATerminal()
{
    // A rollback asks first; with no terminal and no --yes the answer is no.
    const QString feed = u"/feed"_s;
    Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.4"_s});
    Bundles::write(m_home.path(u"Library/Application Support/Vantor/Previous versions"_s), u"OpenEmu 1.0.3.app"_s,
                   {.version = u"1.0.3"_s});
    const Run declined = run({u"--json"_s, u"rollback"_s}, m_server.urlText(feed));
    QCOMPARE(declined.exitCode, 3);
    QVERIFY(declined.json().value(u"notice"_s).isNull());

    QCOMPARE(run({u"--system"_s, u"status"_s}, {}).exitCode, 2);
}

void CliTest::backupRestoreRoundTrip()
{
    const QString saves = m_home.path(u"Library/Application Support/OpenEmu/Save States"_s);
    QDir().mkpath(saves);
    QFile state(saves + u"/slot1.oesavestate"_s);
    QVERIFY(state.open(QIODevice::WriteOnly));
    state.write("progress");
    state.close();
    const QString to = m_home.path(u"backups"_s);
    QDir().mkpath(to);

    const Run backup = run({u"--json"_s, u"--yes"_s, u"backup"_s, u"--to"_s, to, u"--only"_s, u"states"_s},
                           u"http://127.0.0.1:1/feed"_s);
    QCOMPARE(backup.exitCode, 0);
    const QString notice = backup.json().value(u"notice"_s).toString();
    QVERIFY2(notice.startsWith(u"Backup saved: "_s + to + u"/OpenEmu-Backup-"_s), qPrintable(notice));
    const QString zip = notice.mid(u"Backup saved: "_s.size());

    QVERIFY(QDir(m_home.path(u"Library"_s)).removeRecursively());
    const Run restore = run({u"--yes"_s, u"restore"_s, zip}, u"http://127.0.0.1:1/feed"_s);
    QCOMPARE(restore.exitCode, 0);
    QCOMPARE(restore.out, QByteArray("Backup restored. You can open OpenEmu now.\n"));
    QFile restored(saves + u"/slot1.oesavestate"_s);
    QVERIFY(restored.open(QIODevice::ReadOnly));
    QCOMPARE(restored.readAll(), QByteArray("progress"));

    // A zip that is not a backup: refused, exit 1, nothing written.
    QFile notes(to + u"/notes.zip"_s);
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    QVERIFY(QDir(m_home.path(u"Library"_s)).removeRecursively());
    const Run refused = run({u"--yes"_s, u"restore"_s, to + u"/notes.zip"_s}, u"http://127.0.0.1:1/feed"_s);
    QCOMPARE(refused.exitCode, 1);
    QVERIFY(!QFileInfo::exists(m_home.path(u"Library/Application Support/OpenEmu"_s)));
    QVERIFY(!QFileInfo::exists(m_home.path(u"Library/Preferences"_s)));

    QCOMPARE(run({u"backup"_s}, {}).exitCode, 2);
    QCOMPARE(run({u"restore"_s}, {}).exitCode, 2);
    QCOMPARE(run({u"backup"_s, u"--to"_s, to, u"--only"_s, u"roms"_s}, {}).exitCode, 2);
}

void CliTest::guideReportsBiosMarks()
{
    const QString bios = m_home.path(u"Library/Application Support/OpenEmu/BIOS"_s);
    QDir().mkpath(bios);
    for (const QString &name : {u"scph5502.bin"_s, u"dc_boot.bin"_s})
        QFile(bios + QLatin1Char('/') + name).open(QIODevice::WriteOnly);

    QCOMPARE(run({u"set-games-folder"_s, m_home.path(u"Games"_s)}, u"http://127.0.0.1:1/f"_s).exitCode, 0);
    const Run guide = run({u"--json"_s, u"guide"_s}, u"http://127.0.0.1:1/f"_s);
    QCOMPARE(guide.exitCode, 0);
    const QJsonObject object = guide.json();
    QCOMPARE(object.value(u"gamesFolder"_s).toString(), m_home.path(u"Games"_s));
    const QJsonArray steps = object.value(u"steps"_s).toArray();
    QCOMPARE(steps.size(), 4);
    QCOMPARE(steps[2].toObject().value(u"detail"_s).toString(), u"1 system(s) have their BIOS file(s)."_s);
    QVERIFY(steps[1].toObject().value(u"done"_s).toBool());
    QMap<QString, bool> marks;
    for (const QJsonValue &row : object.value(u"bios"_s).toArray())
        marks.insert(row.toObject().value(u"system"_s).toString(), row.toObject().value(u"satisfied"_s).toBool());
    QCOMPARE(marks.size(), 12);
    QVERIFY(marks.value(u"PlayStation"_s));
    QVERIFY(!marks.value(u"Sega Dreamcast"_s)); // needs both files
    QCOMPARE(object.value(u"bios"_s).toArray()[5].toObject().value(u"folder"_s).toString(), bios);
    QVERIFY(object.value(u"controllers"_s).isArray());

    const Run systems = run({u"--json"_s, u"systems"_s}, u"http://127.0.0.1:1/f"_s);
    const QJsonArray rows = QJsonDocument::fromJson(systems.out).array();
    QCOMPARE(rows.size(), 42);
    QVERIFY(rows[1].toObject().value(u"bios"_s).isNull());
    QCOMPARE(rows[26].toObject().value(u"name"_s).toString(), u"Pokémon Mini"_s);
}

void CliTest::demoContinuesOneStory()
{
    // The demo keeps its sandbox in the temporary folder; give it one of its own here.
    const QString tmp = m_home.path(u"demo-tmp"_s);
    QDir().mkpath(tmp);
    auto demo = [&](const QStringList &arguments) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"TMPDIR"_s, tmp);
        process.setProcessEnvironment(env);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral(VANTOR_CLI), QStringList{u"--demo"_s, u"--json"_s} + arguments);
        process.waitForFinished(120'000);
        return Run{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    };
    const Run fresh = demo({u"--demo-reset"_s, u"status"_s});
    QCOMPARE(fresh.exitCode, 0);
    QVERIFY(fresh.json().value(u"installed"_s).isNull());
    QCOMPARE(fresh.json().value(u"latest"_s).toString(), u"v1.0.3"_s);
    QVERIFY(fresh.err.contains(tmp.toUtf8() + "/vantor-demo"));

    QCOMPARE(demo({u"--yes"_s, u"install"_s}).exitCode, 0);
    // Installed, the feed moves on to 1.0.4, and the next run sees both.
    const Run after = demo({u"status"_s});
    QCOMPARE(after.json().value(u"latest"_s).toString(), u"v1.0.4"_s);
    QVERIFY(after.json().value(u"updateAvailable"_s).toBool());
    QVERIFY(after.json()
                .value(u"installed"_s)
                .toObject()
                .value(u"url"_s)
                .toString()
                .startsWith(tmp + u"/vantor-demo/home/Applications/"_s));
    const Run guide = demo({u"guide"_s});
    QVERIFY(guide.json().value(u"steps"_s).toArray()[2].toObject().value(u"done"_s).toBool());
}

QTEST_MAIN(CliTest)
#include "tst_cli.moc"
