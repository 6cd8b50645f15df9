#include "Await.h"
#include "Bundles.h"
#include "FakeDesk.h"
#include "FeedServer.h"
#include "Settle.h"
#include "TestFiles.h"
#include "TestHome.h"

#include "app/AppModel.h"
#include "app/ChangeLock.h"
#include "app/ChangeRunner.h"
#include "base/ByteCount.h"
#include "base/FriendlyError.h"
#include "base/NaturalOrder.h"
#include "base/Paths.h"
#include "base/PlatformError.h"
#include "install/Installer.h"

#include <QException>
#include <QPromise>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString internet = u"Can't reach the internet right now. Check your connection and try again."_s;
const QString diskFull = u"Your disk is full. Free up some space and try again."_s;
const QString permission = QStringLiteral(
    "Vantor doesn't have permission to do that. Try the other install location, or check the folder's permissions.");

FriendlyError fromPlatform(const QString &domain, qint64 code, const QString &context = u"Doing it"_s)
{
    return FriendlyError::from(std::make_exception_ptr(PlatformError{domain, code, u"what the system said"_s}),
                               context);
}

} // namespace

class AppTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Names as the Finder orders them: numbers by value, letters without case.
    void naturalOrder()
    {
        const QStringList sorted{u"Slot 1"_s,  u"slot 2"_s,   u"Slot 02b"_s,
                                 u"Slot 11"_s, u"Slot 100"_s, u"Slot 99999999999999999999"_s,
                                 u"Slot a"_s,  u"Slotb"_s};
        for (qsizetype i = 0; i < sorted.size(); ++i) {
            for (qsizetype j = 0; j < sorted.size(); ++j) {
                const int order = NaturalOrder::compare(sorted[i], sorted[j]);
                QVERIFY2(i < j   ? order < 0
                         : i > j ? order > 0
                                 : order == 0,
                         qPrintable(sorted[i] + u" vs "_s + sorted[j]));
            }
        }
        QCOMPARE(NaturalOrder::compare(u"Slot 007"_s, u"Slot 7"_s), 0);
    }

    void init() { m_home.reset(); }

    void friendlyMessages_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<qint64>("code");
        QTest::addColumn<QString>("message");
        for (qint64 code : {-1009, -1006, -1005, -1004, -1003, -1001})
            QTest::addRow("url %lld", code) << ErrorDomain::url << code << internet;
        QTest::newRow("cocoa out of space") << ErrorDomain::cocoa << qint64(640) << diskFull;
        QTest::newRow("posix no space") << ErrorDomain::posix << qint64(28) << diskFull;
        QTest::newRow("write permission") << ErrorDomain::cocoa << qint64(513) << permission;
        QTest::newRow("read permission") << ErrorDomain::cocoa << qint64(257) << permission;
        // A cancelled request, a secure connection, a missing file, codes read in the wrong domain.
        for (const auto &[domain, code] : {std::pair{ErrorDomain::url, -999},
                                           {ErrorDomain::url, -1200},
                                           {ErrorDomain::cocoa, 4},
                                           {ErrorDomain::posix, 640},
                                           {ErrorDomain::cocoa, -1009}})
            QTest::addRow("%s %d", qPrintable(domain), code)
                << domain << qint64(code) << u"Restoring the backup didn't work."_s;
    }

    void friendlyMessages()
    {
        QFETCH(QString, domain);
        QFETCH(qint64, code);
        QFETCH(QString, message);
        QCOMPARE(fromPlatform(domain, code, u"Restoring the backup"_s).message, message);
    }

    void friendlyDetailsAndIdentity()
    {
        const FriendlyError timeout = fromPlatform(ErrorDomain::url, -1001, u"Checking for the latest release"_s);
        QCOMPARE(timeout.details,
                 u"Checking for the latest release\nNSURLErrorDomain code -1001\nwhat the system said"_s);
        const FriendlyError again = fromPlatform(ErrorDomain::url, -1001, u"Checking for the latest release"_s);
        QVERIFY(timeout.id != again.id);

        // Failures that are not the platform's are described in the same three parts.
        const FriendlyError cancelled = FriendlyError::from(std::make_exception_ptr(Cancelled{}), u"Installing"_s);
        QCOMPARE(cancelled.message, u"Installing didn't work."_s);
        QVERIFY(cancelled.details.startsWith(u"Installing\nNSCocoaErrorDomain code 3072\n"_s));
        const FriendlyError plain = FriendlyError::from(std::make_exception_ptr(std::runtime_error("boom")), u"X"_s);
        QCOMPARE(plain.details, u"X\nVantor code 0\nboom"_s);

        // A FriendlyError passes through as it is.
        const FriendlyError original(u"The release address is invalid."_s, u"bad"_s);
        const FriendlyError passed = FriendlyError::from(std::make_exception_ptr(original), u"Context"_s);
        QVERIFY(passed.id == original.id && passed.message == original.message && passed.details == u"bad"_s);
    }

    void byteCounts_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << u"Zero KB"_s;
        QTest::newRow("one") << qint64(1) << u"1 byte"_s;
        QTest::newRow("999") << qint64(999) << u"999 bytes"_s;
        QTest::newRow("1000") << qint64(1000) << u"1 KB"_s;
        QTest::newRow("1500 rounds up") << qint64(1500) << u"2 KB"_s;
        QTest::newRow("999,999 becomes MB") << qint64(999'999) << u"1 MB"_s;
        QTest::newRow("1.5 MB") << qint64(1'500'000) << u"1.5 MB"_s;
        QTest::newRow("trailing zero dropped") << qint64(2'000'000) << u"2 MB"_s;
        QTest::newRow("1.23 GB") << qint64(1'234'567'890) << u"1.23 GB"_s;
        QTest::newRow("1.2 GB") << qint64(1'200'000'000) << u"1.2 GB"_s;
        QTest::newRow("3 PB") << qint64(3'000'000'000'000'000) << u"3 PB"_s;
    }

    void byteCounts()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(ByteCount::fileStyle(bytes), text);
    }

    void footprintFollowsBundleID()
    {
        QCOMPARE(Paths::settingsFile(), m_home.path(u"Library/Preferences/org.openemu.OpenEmu.plist"_s));
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.identifier = u"org.example.OpenEmuSilicon"_s});
        AppModel model(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
        model.refreshInstalled();
        QCOMPARE(Paths::settingsFile(), m_home.path(u"Library/Preferences/org.example.OpenEmuSilicon.plist"_s));

        // When the app is gone, the identifier found last stays in force.
        QDir(m_home.userApplications()).removeRecursively();
        model.refreshInstalled();
        QVERIFY(!model.installed());
        QCOMPARE(Paths::bundleID(), u"org.example.OpenEmuSilicon"_s);
    }

    void startFindsInstalledAppAndRelease()
    {
        m_server.json(u"/feed"_s, "{\"tag_name\":\"v1.0.4\",\"assets\":[]}");
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.version = u"1.0.3"_s});
        QDir().mkpath(Paths::previousVersionsFolder() + u"/OpenEmu 1.0.2.app"_s);

        AppModel model(m_server.urlText(u"/feed"_s), m_prompter, m_workspace);
        QSignalSpy loading(&model, &AppModel::loadingReleaseChanged);
        model.start();
        // The installed app is known as soon as start() returns; the release arrives later.
        QCOMPARE(model.installed()->version, u"1.0.3"_s);
        QVERIFY(model.hasPrevious() && model.loadingRelease() && !model.latest());
        TestSupport::settle(model);
        QCOMPARE(model.latest()->tagName, u"v1.0.4"_s);
        QVERIFY(!model.loadingRelease() && loading.count() == 2 && !model.error());
    }

    void failedChecksKeepEarlierRelease()
    {
        AppModel model(m_server.urlText(u"/missing-feed"_s), m_prompter, m_workspace);
        model.start();
        TestSupport::settle(model);
        QVERIFY(!model.latest() && !model.loadingRelease() && model.error());

        m_server.json(u"/missing-feed"_s, "{\"tag_name\":\"v2\",\"assets\":[]}");
        model.setError(std::nullopt);
        TestSupport::await(model.checkLatest());
        QCOMPARE(model.latest()->tagName, u"v2"_s);
        QVERIFY(!model.error());

        m_server.json(u"/missing-feed"_s, "garbage");
        TestSupport::await(model.checkLatest());
        QCOMPARE(model.latest()->tagName, u"v2"_s);
        QVERIFY(model.error()->details.contains(u"not valid JSON"_s));
    }

    // A lower layer reaching up is found however the include is spelt.
    void layerCheckSeesEverySpelling()
    {
        const QTemporaryDir tree;
        const QStringList bad{u"#include \"app/AppModel.h\""_s, u"#include <app/AppModel.h>"_s,
                              u"  #  include \"../app/AppModel.h\""_s};
        for (qsizetype i = 0; i < bad.size(); ++i)
            TestFiles::write(tree.filePath(u"src/install/bad%1.cpp"_s.arg(i)),
                             bad[i].toUtf8() + "\n#include <QString>\n");
        QProcess check;
        check.start(QStringLiteral(VANTOR_SOURCE_DIR "/scripts/check-layers.sh"), {tree.filePath(u"src"_s)});
        QVERIFY(check.waitForFinished() && check.exitCode() == 1);
        const QString said = QString::fromUtf8(check.readAllStandardError());
        for (qsizetype i = 0; i < bad.size(); ++i)
            QVERIFY2(said.contains(u"src/install/bad%1.cpp includes app/AppModel.h"_s.arg(i)), qPrintable(said));
    }

    // The lock is the kernel's: whatever a crash or a hand left in its place (nothing written, garbage,
    // a link, a FIFO, a link to an endless device) neither blocks nor hangs, and a link's target is
    // untouched. (Another Vantor holding it, and dying with it: tst_interrupt.)
    void lockIsHeldByTheKernel()
    {
        const QString path = Paths::vantorSupportFolder() + u"/vantor.lock"_s;
        const QString mine = TestFiles::write(m_home.path(u"mine.txt"_s), "keep");
        for (int kind = 0; kind < 7; ++kind) {
            QFile::remove(path);
            if (kind < 2)
                TestFiles::write(path, kind == 0 ? QByteArray() : "garbage\n");
            else if (kind == 3)
                QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            else if (kind < 5)
                QVERIFY(QFile::link(kind == 2 ? mine : u"/dev/zero"_s, path));
            else if (kind == 5)
                QVERIFY(QDir().mkpath(path));
            else // a folder with things in it, one a link out
                QVERIFY(QDir().mkpath(path + u"/inside"_s) && QFile::link(mine, path + u"/inside/link"_s));
            QCOMPARE(ChangeLock::acquire(), std::nullopt);
            // Really held: a regular file that another opener can't lock.
            QVERIFY2(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink(), qPrintable(QString::number(kind)));
            const int other = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW);
            QVERIFY(other >= 0);
            QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), -1);
            ::close(other);
            ChangeLock::release();
        }
        QCOMPARE(TestFiles::read(mine), QByteArray("keep"));
        QCOMPARE(TestFiles::entries(Paths::vantorSupportFolder()), QStringList{u"vantor.lock"_s});
    }

    // A change's flow goes on after a wait only while its owner is there. Once the runner has
    // gone, the flow ends at the next wait: no line after it runs, and the flow gives the outcome
    // that wait named, also when the step itself failed meanwhile.
    void changeEndsAtTheWaitItsOwnerMissed()
    {
        enum Case { ownerStays, ownerGoes, ownerGoesAndStepFails };
        for (const Case which : {ownerStays, ownerGoes, ownerGoesAndStepFails}) {
            auto runner = std::make_unique<ChangeRunner>([] {});
            std::optional<ChangeRunner::Change> change = runner->begin();
            QVERIFY(change);
            QPromise<int> first, second;
            QFuture<int> firstDone = first.future(), secondDone = second.future();
            QStringList ran;
            auto flow = [&](ChangeRunner::Change &held) -> QCoro::Task<Outcome> {
                ran.append(QString::number(co_await held.wait(firstDone)));
                ran.append(QString::number(co_await held.wait(secondDone, Outcome::done)));
                co_return Outcome::failed;
            };
            QCoro::Task<Outcome> running = ChangeRunner::untilGone(flow(*change));
            first.start();
            first.addResult(1);
            first.finish();
            QTRY_COMPARE(ran, QStringList{u"1"_s});
            if (which != ownerStays)
                runner.reset();
            second.start();
            if (which == ownerGoesAndStepFails)
                second.setException(std::make_exception_ptr(QException()));
            else
                second.addResult(2);
            second.finish();
            QCOMPARE(TestSupport::await(std::move(running)), which == ownerStays ? Outcome::failed : Outcome::done);
            QCOMPARE(ran, which == ownerStays ? (QStringList{u"1"_s, u"2"_s}) : QStringList{u"1"_s});
        }
    }

    void updateAvailable()
    {
        // Offered for a newer release of an installed app only; how versions compare is the version
        // checker's own test.
        m_server.json(u"/u"_s, "{\"tag_name\":\"v1.0.4\",\"assets\":[]}");
        AppModel model(m_server.urlText(u"/u"_s), m_prompter, m_workspace);
        model.start();
        TestSupport::settle(model);
        QVERIFY(model.latest() && !model.updateAvailable()); // nothing installed
        for (const auto &[installed, available] : {std::pair{"1.0.3", true}, {"1.0.4", false}, {"2.0", false}}) {
            Bundles::write(m_home.systemApplications(), u"OpenEmu.app"_s, {.version = QString::fromLatin1(installed)});
            model.refreshInstalled();
            QVERIFY2(model.updateAvailable() == available, installed);
        }
    }

private:
    TestHome &m_home = TestHome::shared(); // first: HOME and the settings point there before anything reads them
    FeedServer m_server;
    ScriptedPrompter m_prompter;
    RecordingWorkspace m_workspace;
};

QTEST_MAIN(AppTest)
#include "tst_app.moc"
