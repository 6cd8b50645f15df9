#include "Bundles.h"
#include "TestFiles.h"
#include "TestHome.h"
#include "TestMain.h"

#include "base/Paths.h"
#include "install/VersionChecker.h"

#include "platform/RunningApps.h"

#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

#include <plist/plist.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using VersionChecker::Ordering;

class VersionCheckerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home.reset(); }

    void findsSystemCopyFirst()
    {
        QVERIFY(!VersionChecker::findInstalled());

        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.2"_s});
        QCOMPARE(VersionChecker::findInstalled()->url, m_home.userApplications() + u"/OpenEmu.app"_s);

        Bundles::write(m_home.systemApplications(), u"OpenEmu Beta.app"_s, {.version = u"1.0.3"_s});
        const auto found = VersionChecker::findInstalled();
        QCOMPARE(found->url, m_home.systemApplications() + u"/OpenEmu Beta.app"_s);
        QCOMPARE(found->version, u"1.0.3"_s);
        QCOMPARE(found->bundleID, u"org.openemu.OpenEmu"_s);
    }

    void skipsBundlesThatAreNotOpenEmu()
    {
        const QString apps = m_home.systemApplications();
        Bundles::write(apps, u"MyOpenEmu.app"_s); // name must begin with it
        Bundles::write(apps, u"OpenEmu Helper.app"_s, {.identifier = u"com.example.helper"_s});
        Bundles::write(apps, u"OpenEmu.application"_s); // not the "app" extension
        Bundles::write(apps, u"OpenEmu Old.app"_s, {.identifier = std::nullopt});
        QDir().mkpath(apps + u"/OpenEmu Empty.app"_s); // no Info.plist
        QVERIFY(!VersionChecker::findInstalled());

        Bundles::write(apps, u"openemu-silicon.app"_s,
                       {.identifier = u"ORG.OPENEMU.Silicon"_s, .version = std::nullopt});
        const auto found = VersionChecker::findInstalled();
        QCOMPARE(found->url, apps + u"/openemu-silicon.app"_s);
        QCOMPARE(found->version, u"unknown"_s);
        QCOMPARE(found->bundleID, u"ORG.OPENEMU.Silicon"_s); // case kept
    }

    void readsBinaryAndXmlInfo()
    {
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s,
                       {.version = u"1.0.4"_s, .format = Bundles::PlistFormat::binary});
        QCOMPARE(VersionChecker::findInstalled()->version, u"1.0.4"_s);

        // A damaged Info.plist makes the bundle unreadable, not the search fail.
        TestFiles::write(m_home.userApplications() + u"/OpenEmu.app/Contents/Info.plist"_s, "bplist00\xff\xff garbage");
        QVERIFY(!VersionChecker::findInstalled());
    }

    void compare_data()
    {
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("latest");
        QTest::addColumn<int>("ordering");
        const int asc = int(Ordering::ascending), same = int(Ordering::same), desc = int(Ordering::descending);
        QTest::newRow("trailing zero") << u"1.2"_s << u"v1.2.0"_s << same;
        QTest::newRow("numeric not textual") << u"1.9"_s << u"1.10"_s << asc;
        QTest::newRow("beta number counts") << u"1.2.3"_s << u"1.2.3-beta4"_s << asc;
        QTest::newRow("no digits") << u"unknown"_s << u"nightly"_s << same;
        QTest::newRow("unknown is zero") << u"unknown"_s << u"v0.0.1"_s << asc;
        QTest::newRow("installed newer") << u"2.0"_s << u"v1.99"_s << desc;
        QTest::newRow("spaces ignored") << u"  1.0.4\t"_s << u"V1.0.4"_s << same;
        // How numbers are read from the text: any digits count, whatever comes between them.
        QTest::newRow("line break kept, v not first") << u"\nv1"_s << u"1"_s << same;
        // A part too large for 64 bits still counts, compared as digits.
        QTest::newRow("too large still counts") << u"2.5.3.99999999999999999999"_s << u"2.5.3"_s << desc;
        QTest::newRow("too large against larger") << u"1.99999999999999999999"_s << u"1.100000000000000000000"_s << asc;
        QTest::newRow("too large, leading zeros")
            << u"1.0099999999999999999999"_s << u"1.99999999999999999999"_s << same;
        QTest::newRow("other script numerals dropped") << u"1.\u0663.2"_s << u"1.2"_s << same;
    }

    void compare()
    {
        QFETCH(QString, installed);
        QFETCH(QString, latest);
        QFETCH(int, ordering);
        QCOMPARE(int(VersionChecker::compare(installed, latest)), ordering);
    }

    void hostRequirements_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("macOS");
        QTest::addColumn<bool>("appleSilicon");
        QTest::newRow("Big Sur exactly") << u"macos-11.0.0-arm64"_s << u"11.0.0"_s << true << true;
        QTest::newRow("old system on Apple silicon") << u"macos-10.15.7-arm64"_s << u"10.15.7"_s << false << true;
        QTest::newRow("Intel") << u"macos-13.6.1-x86_64"_s << u"13.6.1"_s << true << false;
        QTest::newRow("not a Mac") << u""_s << u"0.0.0"_s << false << false;
        QTest::newRow("malformed") << u"macos-14-arm64"_s << u"0.0.0"_s << false << false;
    }

    void hostRequirements()
    {
        QFETCH(QString, host);
        QFETCH(QString, version);
        QFETCH(bool, macOS);
        QFETCH(bool, appleSilicon);
        qputenv("VANTOR_HOST", host.toUtf8());
        QCOMPARE(VersionChecker::macVersionString(), version);
        QCOMPARE(VersionChecker::meetsMacOSRequirement(), macOS);
        QCOMPARE(VersionChecker::isAppleSilicon(), appleSilicon);
    }

    void runningInstancesFindsRealProcesses()
    {
        const QString helper = Bundles::sampleApp();
        const QString openEmu
            = Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s,
                             {.identifier = u"Org.OpenEmu.OpenEmu-Silicon"_s, .executableSource = helper});
        const QString other = Bundles::write(
            m_home.userApplications(), u"Other.app"_s,
            {.identifier = u"com.example.other"_s, .executableName = u"Other"_s, .executableSource = helper});

        std::vector<std::unique_ptr<QProcess>> processes; // killed as they are destroyed
        for (const QString &program : {openEmu + u"/Contents/MacOS/OpenEmu"_s, other + u"/Contents/MacOS/Other"_s}) {
            processes.push_back(std::make_unique<QProcess>());
            processes.back()->start(program, {});
            QVERIFY(processes.back()->waitForStarted());
        }

        // Waiting on the processes themselves: still there after the time given; gone, at once.
        const QList<qint64> both{processes[0]->processId(), processes[1]->processId()};
        QVERIFY(!RunningApps::waitForExit(both, std::chrono::milliseconds(100)));
        QTimer::singleShot(100, this, [&] { processes[1]->kill(); });
        QTimer::singleShot(200, this, [&] { processes[0]->kill(); });
        QElapsedTimer waited;
        waited.start();
        auto waiting = QtConcurrent::run([both] { return RunningApps::waitForExit(both, std::chrono::seconds(20)); });
        QTRY_VERIFY(waiting.isFinished());
        QVERIFY(waiting.result() && waited.elapsed() < 10'000);
        for (auto &process : processes) {
            process->waitForFinished();
            process->start(process->program(), {});
            QVERIFY(process->waitForStarted());
        }

        const QList<RunningApp> running = VersionChecker::runningInstances();
        QCOMPARE(running.size(), 1);
        QCOMPARE(running[0].pid, processes[0]->processId());
        QCOMPARE(running[0].bundlePath, openEmu);
        QCOMPARE(running[0].bundleID, u"Org.OpenEmu.OpenEmu-Silicon"_s);

        // Another user's OpenEmu is theirs to quit: not listed.
        const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
        if (::geteuid() != 0 || setpriv.isEmpty())
            return;
        QTemporaryDir shared(u"/tmp/vantor-other-user-XXXXXX"_s);
        QFile::setPermissions(shared.path(), QFileDevice::Permissions(0x7755));
        const QString theirs = Bundles::write(shared.path(), u"OpenEmu.app"_s, {.executableSource = helper});
        QProcess(this).execute(u"chmod"_s, {u"-R"_s, u"a+rX"_s, shared.path()});
        QProcess *stranger = processes.emplace_back(std::make_unique<QProcess>()).get();
        stranger->start(setpriv, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                                  theirs + u"/Contents/MacOS/OpenEmu"_s});
        QVERIFY(stranger->waitForStarted());
        QTest::qWait(200);
        QCOMPARE(stranger->state(), QProcess::Running); // it runs, as another user
        QCOMPARE(VersionChecker::runningInstances().size(), 1);
    }

    void hostileBundles()
    {
        const QString apps = m_home.userApplications();
        // An identifier that would climb out of ~/Library when pasted into a path: not OpenEmu's.
        Bundles::write(apps, u"OpenEmu.app"_s, {.identifier = u"org.openemu.OpenEmu/../../../../victim"_s});
        QVERIFY(!VersionChecker::findInstalled());

        // Info.plists that would crash or hang a parser: unreadable, answered at once.
        const QString info = apps + u"/OpenEmu.app/Contents/Info.plist"_s;
        TestFiles::write(
            info,
            "<?xml version=\"1.0\"?><plist><dict><key>CFBundleIdentifier</key><string>org.openemu.OpenEmu</string>"
            "<key>deep</key>"
                + QByteArray("<array>").repeated(200'000) + QByteArray("</array>").repeated(200'000)
                + "</dict></plist>");
        QVERIFY(!VersionChecker::findInstalled());

        // Binary: the same, as deep as the guard must walk without recursion.
        plist_t top = plist_new_dict();
        plist_dict_set_item(top, "CFBundleIdentifier", plist_new_string("org.openemu.OpenEmu"));
        plist_t inner = plist_new_array();
        plist_dict_set_item(top, "deep", inner);
        for (int depth = 0; depth < 100'000; ++depth) {
            plist_t next = plist_new_array();
            plist_array_append_item(inner, next);
            inner = next;
        }
        char *binary = nullptr;
        uint32_t length = 0;
        plist_to_bin(top, &binary, &length);
        TestFiles::write(info, QByteArray(binary, qsizetype(length)));
        plist_to_bin_free(binary);
        plist_free(top);
        QVERIFY(!VersionChecker::findInstalled());

        QFile::remove(info);
        QCOMPARE(::mkfifo(QFile::encodeName(info).constData(), 0644), 0);
        QVERIFY(!VersionChecker::findInstalled()); // would block reading a pipe
    }

private:
    TestHome &m_home = TestHome::shared();
};

VANTOR_TEST_CLASS(VersionCheckerTest)
#include "VersionCheckerTest.moc"
