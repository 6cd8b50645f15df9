// Vantor killed at every step of an update and a rollback (journal writes, the copy, each move), two Vantors at once,
// and a terminal's SIGTERM: the app at its path is always whole, a kept copy survives wherever there was one, and
// nothing of a run stays in the temporary folder.

#include "Bundles.h"
#include "CliRun.h"
#include "FeedServer.h"
#include "SampleRelease.h"
#include "TestFiles.h"
#include "TestHome.h"

#include "base/Paths.h"

#include <QtTest>

#include <csignal>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString feedPath = u"/repos/OpenEmu-Silicon/OpenEmu-Silicon/releases/latest"_s;

using CliRunner::run;
using TestFiles::entries;

bool isWholeApp(const QString &bundle)
{
    return QFileInfo(bundle + u"/Contents/Info.plist"_s).isFile()
           && QFileInfo(bundle + u"/Contents/MacOS/OpenEmu"_s).isExecutable();
}

dev_t deviceOf(const QString &path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_dev;
}

} // namespace

class InterruptTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home.reset();
        m_applications = m_home.systemApplications();
        qputenv("VANTOR_SYSTEM_APPLICATIONS", m_applications.toUtf8());
        qputenv("VANTOR_FEED_URL", m_server.urlText(feedPath).toUtf8());
        m_server.resetHits();
        SampleRelease::publish(m_server, m_home.path(u"release"_s), feedPath, {.version = u"1.0.4"_s});
    }

    void cleanup()
    {
        if (!m_otherVolume.isEmpty()) {
#ifdef Q_OS_MACOS
            QProcess::execute(u"/usr/bin/hdiutil"_s, {u"detach"_s, u"-force"_s, m_otherVolume});
#endif
            QDir(m_otherVolume).removeRecursively();
        }
        m_otherVolume.clear();
    }

    void killedAtEveryMove_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("otherVolume");
        QTest::newRow("update") << "update" << false;
        QTest::newRow("rollback") << "rollback" << false;
        QTest::newRow("update, app on another volume") << "update" << true;
        QTest::newRow("rollback, app on another volume") << "rollback" << true;
    }

    void killedAtEveryMove()
    {
        QFETCH(QString, command);
        QFETCH(bool, otherVolume);
        if (otherVolume) {
#ifdef Q_OS_MACOS
            // A small disk image of its own, mounted for the test: the Mac has no /dev/shm.
            const QString image = QDir(m_home.temporary()).filePath(u"other-volume.dmg"_s);
            m_otherVolume = QDir(m_home.temporary()).filePath(u"other-volume"_s);
            QDir().mkpath(m_otherVolume);
            QCOMPARE(
                QProcess::execute(u"/usr/bin/hdiutil"_s, {u"create"_s, u"-quiet"_s, u"-size"_s, u"64m"_s, u"-fs"_s,
                                                          u"HFS+"_s, u"-volname"_s, u"VantorOther"_s, u"-ov"_s, image}),
                0);
            QCOMPARE(QProcess::execute(u"/usr/bin/hdiutil"_s, {u"attach"_s, u"-quiet"_s, u"-nobrowse"_s,
                                                               u"-mountpoint"_s, m_otherVolume, image}),
                     0);
#else
            m_otherVolume = u"/dev/shm/vantor-interrupt-%1"_s.arg(QCoreApplication::applicationPid());
            QDir().mkpath(m_otherVolume);
#endif
            if (deviceOf(m_otherVolume) == deviceOf(m_home.home()))
                QSKIP("the other volume is the home folder's here");
            m_applications = m_otherVolume + u"/Applications"_s;
            qputenv("VANTOR_SYSTEM_APPLICATIONS", m_applications.toUtf8());
        }
        const bool update = command == u"update"_s;
        const QString before = update ? u"1.0.3"_s : u"1.0.4"_s;
        const QString after = update ? u"1.0.4"_s : u"1.0.3"_s;
        const QString app = m_applications + u"/OpenEmu.app"_s;

        QStringList table;
        for (int step = 1;; ++step) {
            QVERIFY2(step < 200, "the run never got through");
            setUp(before, update ? u"1.0.2"_s : u"1.0.3"_s);
            // (A rollback in the step before skipped 1.0.4; the update asks for it by name.)
            const QStringList arguments
                = update ? QStringList{u"--yes"_s, command, u"--include-skipped"_s} : QStringList{u"--yes"_s, command};
            const CliRun killed = run(arguments, {u"VANTOR_KILL_AT_STEP=%1"_s.arg(step)});

            // Vantor again: whatever the kill left is finished or undone.
            const QJsonObject state = run({u"--json"_s, u"status"_s}).json();
            const QString version = state.value(u"installed"_s).toObject().value(u"version"_s).toString();
            const QString where = QString::fromUtf8(killed.err).section(u"killed at "_s, 1).trimmed();
            table.append(u"%1 | %2 | %3"_s.arg(killed.killed ? where : u"not killed (exit %1)"_s.arg(killed.exitCode),
                                               version, state.value(u"notice"_s).toString()));
            QVERIFY2(version == before || version == after, qPrintable(table.last()));
            QVERIFY2(isWholeApp(app), qPrintable(table.last()));
            QVERIFY2(state.value(u"hasPrevious"_s).toBool(), qPrintable(table.last()));
            QVERIFY2(entries(m_home.temporary()).filter(u"Vantor-"_s).isEmpty(), qPrintable(table.last()));
            QCOMPARE(entries(m_applications), QStringList{u"OpenEmu.app"_s});

            // And it works on: a further update (when one is due) and a rollback.
            const auto succeeds = [&](const QStringList &again) {
                const CliRun ran = run(again);
                return ran.exitCode == 0 && !ran.killed
                           ? QByteArray()
                           : "exit " + QByteArray::number(ran.exitCode) + (ran.killed ? " (signal)\n" : "\n") + ran.err;
            };
            if (version == u"1.0.3"_s) { // a rollback to it skipped 1.0.4: asked for by name
                const QByteArray failed = succeeds({u"--yes"_s, u"update"_s, u"--include-skipped"_s});
                QVERIFY2(failed.isEmpty(), failed.constData());
            }
            const QByteArray failed = succeeds({u"--yes"_s, u"rollback"_s});
            QVERIFY2(failed.isEmpty(), failed.constData());
            QVERIFY(isWholeApp(app));
            QCOMPARE(entries(Paths::previousVersionsFolder()).size(), 1);

            if (!killed.killed && killed.exitCode == 0)
                break; // every move of the run has had its turn
        }
        qInfo().noquote() << u"step killed | version after | notice\n"_s + table.join(QLatin1Char('\n'));
    }

    // A restore killed between writing a file and putting it in place, and a backup killed before
    // its zip got its name: the next restore (or backup) leaves none of what they left.
    void killedRestoreAndBackupLeaveNothing()
    {
        const QString states = m_home.path(u"Library/Application Support/OpenEmu/Save States"_s);
        TestFiles::write(states + u"/SNES/Zelda/a.oesavestate/State"_s, "state");
        TestFiles::write(states + u"/SNES/Zelda/b.oesavestate/State"_s, "other state");
        const QString to = m_home.path(u"backups"_s);
        QDir().mkpath(to);
        const CliRun made = run({u"--json"_s, u"backup"_s, u"--to"_s, to, u"--only"_s, u"states"_s});
        QCOMPARE(made.exitCode, 0);
        const QString zip = made.json().value(u"notice"_s).toString().mid(14);

        const auto leftovers = [&](const QString &folder, const QString &pattern) {
            QStringList found;
            QDirIterator it(folder, {pattern}, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
            while (it.hasNext())
                found.append(it.next());
            return found;
        };
        // Killed while keeping a copy of what it replaces, then while writing: the next restore
        // leaves neither behind.
        const QString automatic = m_home.path(u"Library/Application Support/Vantor/Automatic backups"_s);
        const CliRun keeping = run({u"--yes"_s, u"restore"_s, zip}, {u"VANTOR_KILL_AT_STEP=1"_s});
        QVERIFY2(keeping.killed && keeping.err.contains("-Before-Restore.zip.partial"), keeping.err.constData());
        QCOMPARE(leftovers(automatic, u"*.zip.partial"_s).size(), 1);
        const CliRun restore = run({u"--yes"_s, u"restore"_s, zip}, {u"VANTOR_KILL_AT_STEP=2"_s});
        QVERIFY2(restore.killed && restore.err.contains("killed at step 2: restore "), restore.err.constData());
        QCOMPARE(leftovers(states, u".vantor-restore-*"_s).size(), 1);
        QCOMPARE(run({u"--yes"_s, u"restore"_s, zip}).exitCode, 0);
        QVERIFY(leftovers(states, u".vantor-restore-*"_s).isEmpty());
        QVERIFY(leftovers(automatic, u"*.zip.partial"_s).isEmpty());
        QCOMPARE(TestFiles::read(states + u"/SNES/Zelda/b.oesavestate/State"_s), QByteArray("other state"));

        const CliRun backup = run({u"backup"_s, u"--to"_s, to, u"--only"_s, u"states"_s}, {u"VANTOR_KILL_AT_STEP=1"_s});
        QVERIFY2(backup.killed && backup.err.contains("killed at step 1: backup "), backup.err.constData());
        QCOMPARE(leftovers(to, u"*.zip.partial"_s).size(), 1);
        QCOMPARE(run({u"backup"_s, u"--to"_s, to, u"--only"_s, u"states"_s}).exitCode, 0);
        QVERIFY(leftovers(to, u"*.zip.partial"_s).isEmpty());
        QCOMPARE(QDir(to).entryList({u"*.zip"_s}, QDir::Files).size(), 2);
    }

    void twoUpdatesAtOnce()
    {
        // A slow download keeps the first update going while the second starts.
        QProcess *first = startSlowUpdate();
        QVERIFY(first);
        const CliRun second = run({u"--yes"_s, u"update"_s});
        QVERIFY(first->waitForFinished(120'000));

        QVERIFY2(first->exitCode() == 0, first->readAllStandardError().constData());
        QCOMPARE(second.exitCode, 1);
        QVERIFY2(second.err.contains("Another Vantor is already changing OpenEmu. Try again when it has finished."),
                 second.err.constData());
        QCOMPARE(m_server.hits(u"/download/1.0.4/OpenEmu-Silicon.zip"_s), 1);
        const QString app = m_applications + u"/OpenEmu.app"_s;
        QVERIFY(isWholeApp(app));
        QCOMPARE(run({u"--json"_s, u"status"_s}).json()[u"installed"_s][u"version"_s].toString(), u"1.0.4"_s);
    }

    // Ctrl-C and SIGTERM stop the download cleanly, and the exit status says which, as a shell
    // reports a command stopped by a signal (130, 143).
    void signalsStopTheDownload()
    {
        for (const int signal : {SIGINT, SIGTERM}) {
            m_server.resetHits();
            // Not resumed from what the first one kept: that would end before the signal.
            QDir(m_home.path(u"Library/Caches/Vantor"_s)).removeRecursively();
            QProcess *update = startSlowUpdate();
            QVERIFY(update);
            QTest::qWait(200);
            // kill(0) would signal this whole process group
            QVERIFY2(update->processId() > 0,
                     qPrintable(u"signal %1, exit %2: "_s.arg(signal).arg(update->exitCode())
                                + QString::fromUtf8(update->readAllStandardError() + update->readAllStandardOutput())));
            ::kill(pid_t(update->processId()), signal);
            QVERIFY(update->waitForFinished(30'000));
            QCOMPARE(update->exitStatus(), QProcess::NormalExit);
            QCOMPARE(update->exitCode(), 128 + signal);
            QVERIFY(entries(m_home.temporary()).filter(u"Vantor-"_s).isEmpty());
            QVERIFY(isWholeApp(m_applications + u"/OpenEmu.app"_s));
        }
    }

    void windowQuitsOnSignals()
    {
        for (const int signal : {SIGTERM, SIGINT}) {
            QProcess window;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
            window.setProcessEnvironment(env);
            window.start(QStringLiteral(VANTOR_WINDOW), {});
            QVERIFY(window.waitForStarted());
            QTest::qWait(1500); // the window is up and its event loop running
            ::kill(pid_t(window.processId()), signal);
            QVERIFY2(window.waitForFinished(10'000), "the window ignored the signal");
            QCOMPARE(window.exitStatus(), QProcess::NormalExit);
            QCOMPARE(window.exitCode(), 0);
        }
    }

private:
    // The app `installed` at its place, and a kept copy `kept` (none when empty).
    void setUp(const QString &installed, const QString &kept)
    {
        for (const QString &folder : {m_applications, Paths::previousVersionsFolder(), m_home.temporary()})
            QDir(folder).removeRecursively();
        QFile::remove(m_home.path(u"Library/Application Support/Vantor/install-journal.json"_s));
        QDir().mkpath(m_home.temporary());
        Bundles::write(m_applications, u"OpenEmu.app"_s,
                       {.version = installed, .executableSource = Bundles::sampleApp()});
        if (!kept.isEmpty())
            Bundles::write(Paths::previousVersionsFolder(), u"OpenEmu %1.app"_s.arg(kept),
                           {.version = kept, .executableSource = Bundles::sampleApp()});
    }

    // 1.0.3 installed and an update to 1.0.4 started, its download (7 KB) served 256 bytes every 50 ms:
    // about a second and a half, long enough for what the test does meanwhile on a loaded machine. Back
    // once the download has begun (none if it never does).
    QProcess *startSlowUpdate()
    {
        setUp(u"1.0.3"_s, QString());
        const QString download = u"/download/1.0.4/OpenEmu-Silicon.zip"_s;
        m_server.route(download, FeedServer::Route::slowly(m_server.routeOf(download)->body, 256, 50));
        QProcess *update = CliRunner::start({u"--yes"_s, u"update"_s}, {}, this);
        return QTest::qWaitFor([&] { return m_server.hits(download) > 0; }, 10'000) ? update : nullptr;
    }

    TestHome &m_home = TestHome::shared();
    FeedServer m_server;
    QString m_applications; // where the app is installed: the system folder of the run
    QString m_otherVolume; // a folder on another volume, when the machine has one
};

QTEST_GUILESS_MAIN(InterruptTest)
#include "tst_interrupt.moc"
