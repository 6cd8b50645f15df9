#include "Await.h"
#include "Bundles.h"
#include "FakeDesk.h"
#include "FeedServer.h"
#include "SampleRelease.h"
#include "Settle.h"
#include "TestFiles.h"
#include "TestHome.h"
#include "TestMain.h"

#include "app/AppModel.h"
#include "app/ChangeLock.h"
#include "app/SaveStateJudge.h"
#include "base/Paths.h"
#include "install/Journal.h"
#include "install/VersionChecker.h"
#include "platform/FileOps.h"

#include <QtTest>

#include <cerrno>
#include <csignal>
#ifdef __linux__
#include <sys/mount.h> // Linux's five-argument mount(2)
#endif
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using TestFiles::entries;
using TestSupport::await;

namespace {

// The sample framework's links came through as links, and each reaches the library's bytes.
void checkFrameworkLinks(const QString &app)
{
    const QString framework = app + u"/Contents/Frameworks/XADMaster.framework"_s;
    for (const QString &link :
         {framework + u"/XADMaster"_s, framework + u"/Versions/Current"_s, app + u"/Contents/Resources/XADMaster"_s}) {
        QVERIFY2(QFileInfo(link).isSymLink(), qPrintable(link));
    }
    for (const QString &library : {framework + u"/XADMaster"_s, app + u"/Contents/Resources/XADMaster"_s})
        QVERIFY2(TestFiles::read(library) == "framework code", qPrintable(library));
}

const QString feedPath = u"/repos/OpenEmu-Silicon/OpenEmu-Silicon/releases/latest"_s;
const QString gatekeeper = QStringLiteral("\nIts signature can't be checked on this system.");

// QVERIFY2 builds its message even when the check passes.
QString errorDetails(const AppModel &model)
{
    return model.error() ? model.error()->message + QLatin1Char('\n') + model.error()->details : QString();
}

// Lets every background step end and every task resume after its model has gone.
void drainBackgroundWork()
{
    for (int round = 0; round < 5; ++round) {
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QTest::qWait(20);
    }
}

} // namespace

class FlowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home.reset();
        m_server.resetHits();
        m_server.json(feedPath, "no release yet", 404);
        m_prompter = ScriptedPrompter();
        m_workspace = RecordingWorkspace();
    }

    void cleanup() { m_processes.clear(); }

    void installUpdateAndRollBackTwice()
    {
        publish({.version = u"1.0.3"_s});
        auto model = startedModel();
        QVERIFY(!model->installed());

        QList<InstallPhase> phases;
        connect(model.get(), &AppModel::phaseChanged, this, [&] { phases.append(model->phase()); });
        await(model->install(false));
        const QString app = m_home.userApplications() + u"/OpenEmu.app"_s;
        QVERIFY2(!model->error(), qPrintable(errorDetails(*model)));
        // Which checks were made is the verdict's own sentence, between the place and the signature.
        // The outcome first; where, which checks and the signature in the details.
        QCOMPARE(model->notice(), u"OpenEmu-Silicon 1.0.3 is installed."_s);
        QCOMPARE(model->noticeAction(), AppModel::NoticeAction::openOpenEmu);
        QVERIFY(model->noticeDetails().startsWith(u"Installed to "_s + app + u".\nSize matches."_s));
        QVERIFY(model->noticeDetails().endsWith(gatekeeper));
        QCOMPARE(model->installed()->version, u"1.0.3"_s);
        QVERIFY(!model->hasPrevious());
        QCOMPARE(phases, (QList<InstallPhase>{InstallPhase::downloading, InstallPhase::verifying,
                                              InstallPhase::unpacking, InstallPhase::installing, InstallPhase::idle}));
        checkFrameworkLinks(app);
        QVERIFY(entries(m_home.temporary()).isEmpty()); // the work folder is gone

        // The next release comes as a disk image with a digest and a checksum file.
        publish({.version = u"1.0.4"_s, .zip = false, .diskImage = true, .digest = true, .checksumFile = true},
                model.get());
        QVERIFY(model->updateAvailable());
        await(model->install(true));
        QVERIFY2(!model->error(), qPrintable(errorDetails(*model)));
        QCOMPARE(model->notice(), u"OpenEmu-Silicon updated to 1.0.4."_s);
        QVERIFY(model->noticeDetails().contains(u"\nSize and SHA-256 checksum match"_s));
        QCOMPARE(model->installed()->version, u"1.0.4"_s);
        QVERIFY(model->hasPrevious());
        checkFrameworkLinks(app);
        QCOMPARE(entries(Paths::previousVersionsFolder()), QStringList{u"OpenEmu 1.0.3.app"_s});
        QVERIFY(!model->updateAvailable());
        QCOMPARE(model->tidyRows().first().id, u"app"_s);

        m_prompter.answers = {0, 0};
        await(model->rollback());
        // Back to an older version: the newer one is skipped until a newer release.
        QCOMPARE(model->notice(),
                 u"OpenEmu-Silicon rolled back to 1.0.3. Vantor won't offer v1.0.4 again until a newer release."_s);
        QCOMPARE(model->skippedVersion(), u"v1.0.4"_s);
        QCOMPARE(model->installed()->version, u"1.0.3"_s);
        QCOMPARE(entries(Paths::previousVersionsFolder()), QStringList{u"OpenEmu 1.0.4.app"_s});
        QCOMPARE(m_prompter.asked.first().buttons, (QStringList{u"Go Back"_s, u"Cancel"_s}));
        QCOMPARE(m_prompter.asked.first().message, u"Go back to OpenEmu-Silicon 1.0.3?"_s);
        QVERIFY(!model->busyMessage());

        await(model->rollback());
        QCOMPARE(m_prompter.asked.last().message, u"Switch to OpenEmu-Silicon 1.0.4?"_s); // the newer one, kept
        QCOMPARE(m_prompter.asked.last().buttons.first(), u"Switch"_s);
        QCOMPARE(model->notice(), u"OpenEmu-Silicon switched to 1.0.4."_s);
        QCOMPARE(model->installed()->version, u"1.0.4"_s);
        QCOMPARE(entries(Paths::previousVersionsFolder()), QStringList{u"OpenEmu 1.0.3.app"_s});

        // Cancel in the confirmation: nothing at all.
        model->setNotice(std::nullopt);
        await(model->rollback());
        QVERIFY(!model->notice() && !model->error());
        QCOMPARE(model->installed()->version, u"1.0.4"_s);

        // A broken app (its Info.plist gone) never pushes out the kept copy: an install puts it in
        // the Trash, and a rollback still finds the kept copy.
        QVERIFY(QFile::remove(app + u"/Contents/Info.plist"_s));
        model->refreshInstalled();
        await(model->install(false));
        QCOMPARE(model->installed()->version, u"1.0.4"_s);
        QCOMPARE(entries(Paths::previousVersionsFolder()), QStringList{u"OpenEmu 1.0.3.app"_s});
        QVERIFY(QFile::remove(app + u"/Contents/Info.plist"_s));
        model->refreshInstalled();
        QVERIFY(!model->installed() && model->canRollBack());
        m_prompter.answers = {0};
        await(model->rollback());
        QCOMPARE(model->installed()->version, u"1.0.3"_s);
    }

    // A dropped connection picked up again says where it resumes, and gives way to the share
    // and time left as soon as bytes flow again, not only when the download ends.
    void resumeGivesWayToProgress()
    {
        publish({.version = u"1.0.3"_s});
        const QString zip = u"/download/1.0.3/OpenEmu-Silicon.zip"_s;
        FeedServer::Route dropping = FeedServer::Route::slowly(m_server.routeOf(zip)->body, 256, 50);
        dropping.dropAfterBytes = dropping.body.size() / 4;
        dropping.paceRanges = true; // the rest arrives over a second, in many reads
        m_server.route(zip, dropping);
        auto model = startedModel();
        QList<qint64> clearedAt; // the bytes received when the resume's sentence went
        bool resumed = false;
        connect(model.get(), &AppModel::busyMessageChanged, this, [&] {
            resumed = resumed || model->busyMessage().value_or(QString()).startsWith(u"Resuming at "_s);
            if (resumed && !model->busyMessage() && model->phase() == InstallPhase::downloading)
                clearedAt.append(model->downloaded());
        });
        QCOMPARE(await(model->install(false)), Outcome::done);
        QVERIFY(resumed && !clearedAt.isEmpty());
        QVERIFY2(clearedAt.first() < model->totalBytes(), qPrintable(QString::number(clearedAt.first())));
    }

    // Installed version, skipped version and kept copy never contradict each other.
    void versionsSkipsAndRollbackAgree()
    {
        publish({.version = u"1.0.3"_s});
        auto model = startedModel();
        await(model->install(false));
        publish({.version = u"1.0.4"_s}, model.get());
        await(model->install(true));
        m_prompter.answers = {0};
        QCOMPARE(await(model->rollback()), Outcome::done);
        QCOMPARE(model->skippedVersion(), u"v1.0.4"_s);
        QVERIFY(model->rollbackGoesForward() && model->canRollBack());
        // Every page follows the change: Tidy names the copy kept now, not the one that left.
        const auto kept = [&] {
            for (const TidyRow &row : model->tidyRows())
                if (row.id == u"previous"_s)
                    return row.url;
            return QString();
        };
        QTRY_COMPARE(kept(), Paths::previousVersionsFolder() + u"/OpenEmu 1.0.4.app"_s);

        // Installing the skipped version again: it is what the user has, so it is skipped no more.
        QCOMPARE(await(model->install(false)), Outcome::done);
        QCOMPARE(model->installed()->version, u"1.0.4"_s);
        QVERIFY(!model->skippedVersion() && !model->latestIsSkipped());
        QCOMPARE(model->keptVersion(), u"1.0.3"_s);
        QVERIFY(!model->rollbackGoesForward());

        // A reinstall of the installed version never pushes out the kept copy.
        QCOMPARE(await(model->install(false)), Outcome::done);
        QCOMPARE(entries(Paths::previousVersionsFolder()), QStringList{u"OpenEmu 1.0.3.app"_s});
        QCOMPARE(model->keptVersion(), u"1.0.3"_s);

        // A kept copy of the installed version is nothing to roll back to, and says so.
        const QString previous = Paths::previousVersionsFolder();
        QVERIFY(QDir(previous).removeRecursively() && QDir().mkpath(previous));
        QCOMPARE(QProcess::execute(u"cp"_s, {u"-R"_s, model->installed()->url, previous + u"/OpenEmu 1.0.4.app"_s}), 0);
        model->refreshInstalled();
        QVERIFY(model->hasPrevious() && !model->canRollBack());
        m_prompter.asked.clear();
        QCOMPARE(await(model->rollback()), Outcome::failed);
        QVERIFY(m_prompter.asked.isEmpty());
        QCOMPARE(model->error()->message,
                 u"The kept copy is the version already installed, so there is nothing to go back to."_s);
    }

    void freshInstallOverAnExistingCopy()
    {
        // A fresh install into /Applications while a copy sits in ~/Applications: placed in the
        // system folder, and the known version names nothing (no copy is replaced there).
        installedApp(u"1.0.2"_s);
        publish({.version = u"1.0.4"_s});
        auto model = startedModel();
        model->setInstallToSystemApplications(true);
        await(model->install(false));
        QCOMPARE(model->installed()->url, m_home.systemApplications() + u"/OpenEmu.app"_s);

        // Installing the same version again onto that same place keeps nothing of the copy it
        // replaces: a kept copy of the installed version is nothing to go back to.
        await(model->install(false));
        QCOMPARE(model->notice(), u"OpenEmu-Silicon 1.0.4 is installed."_s);
        QVERIFY(entries(Paths::previousVersionsFolder()).isEmpty());

        // An update of the app in /Applications replaces it there even when ~/Applications is chosen.
        model->setInstallToSystemApplications(false);
        await(model->install(true));
        QCOMPARE(model->installed()->url, m_home.systemApplications() + u"/OpenEmu.app"_s);
    }

    void requestsThatAreRefused()
    {
        // No release loaded.
        auto model = startedModel();
        await(model->install(false));
        QCOMPARE(model->error()->message, u"The latest release has no downloadable app file (.dmg or .zip)."_s);
        QCOMPARE(model->error()->details, u"Assets: none"_s);

        // A release whose only asset is a source archive.
        publish({.zip = false, .otherAssets = {u"Source code.tar.gz"_s, u"notes.txt"_s}}, model.get());
        await(model->install(false));
        QCOMPARE(model->error()->details, u"Assets: Source code.tar.gz, notes.txt"_s);

        // A size no file has.
        publish({.publishedSize = 0}, model.get());
        await(model->install(false));
        QCOMPARE(model->error()->message, u"The release lists an impossible size for its file."_s);

        // Not a Mac that can run it.
        qputenv("VANTOR_HOST", "macos-10.15.7-arm64");
        publish({}, model.get());
        model->setNotice(u"earlier"_s);
        await(model->install(false));
        QCOMPARE(model->error()->message,
                 u"This Mac can't run OpenEmu-Silicon (it needs Apple silicon and macOS 11 or newer)."_s);
        QCOMPARE(model->error()->details, u"macOS 10.15.7"_s);
        QCOMPARE(model->notice(), u"earlier"_s); // refused before anything was cleared
        QCOMPARE(m_server.hits(u"/download/1.0.4/OpenEmu-Silicon.zip"_s), 0);
    }

    void failuresLeaveTheInstalledApp()
    {
        const QString app = installedApp(u"1.0.3"_s);

        publish({.version = u"1.0.4"_s, .checksumFile = true, .wrongChecksum = true});
        auto model = startedModel();
        // The checksum file is read before the download starts, so the download knows to hash.
        QList<int> checksumReads; // as the download goes
        connect(model.get(), &AppModel::downloadedChanged, this,
                [&] { checksumReads.append(m_server.hits(u"/download/1.0.4/OpenEmu-Silicon.zip.sha256"_s)); });
        await(model->install(true));
        QCOMPARE(checksumReads.value(0), 1);
        QCOMPARE(model->error()->message,
                 QStringLiteral("The downloaded file doesn't match the published checksum, so it "
                                "was not installed. Please try again."));
        QCOMPARE(VersionChecker::version(app), u"1.0.3"_s);
        QVERIFY(!QFileInfo::exists(Paths::previousVersionsFolder()));
        QVERIFY(entries(m_home.temporary()).isEmpty() && model->phase() == InstallPhase::idle);

        // Three times a huge published size is more than any disk has.
        publish({.version = u"1.0.4"_s, .publishedSize = Q_INT64_C(1'000'000'000'000'000)}, model.get());
        await(model->install(true));
        QCOMPARE(model->error()->message, u"Not enough free disk space. About 3 PB is needed while installing."_s);
        QVERIFY(model->error()->details.startsWith(u"Free: "_s));

        // A feed whose file name would climb out of the work folder is not downloaded at all.
        publish({.version = u"1.0.4"_s, .assetName = u"../../OpenEmu.zip"_s}, model.get());
        await(model->install(true));
        QCOMPARE(model->error()->message,
                 u"The release file has a name Vantor can't use safely, so it was not downloaded."_s);
        QCOMPARE(m_server.hits(u"/download/1.0.4/OpenEmu-Silicon.zip"_s), 1); // the checksum run only
        QVERIFY(entries(m_home.temporary()).isEmpty());
        QVERIFY(!QFileInfo::exists(QDir(m_home.temporary()).filePath(u"../OpenEmu.zip"_s)));

        // A download address that answers 404 names the failing step's context in the mapping.
        m_server.json(u"/download/1.0.4/OpenEmu-Silicon.zip"_s, "gone", 404);
        publish({.version = u"1.0.5"_s});
        m_server.json(u"/download/1.0.5/OpenEmu-Silicon.zip"_s, "gone", 404);
        await(model->checkLatest());
        QCOMPARE(await(model->install(true)), Outcome::failed);
        QVERIFY(model->error()->details.startsWith(u"HTTP 404 for "_s));
        QCOMPARE(VersionChecker::version(app), u"1.0.3"_s);

        // The Mac refusing to replace the app (App Management, EPERM): said plainly, the swap undone.
        publish({.version = u"1.0.5"_s}, model.get());
        FileOps::setMoveFaultForTesting([&](const QString &, const QString &to) -> std::optional<int> {
            return to == app ? std::optional(EPERM) : std::nullopt;
        });
        auto noFault = qScopeGuard([] { FileOps::setMoveFaultForTesting({}); });
        QCOMPARE(await(model->install(true)), Outcome::failed);
        QVERIFY2(model->error()->message.contains(u"Privacy & Security › App Management"_s),
                 qPrintable(model->error()->message + u" | "_s + model->error()->details));
        QVERIFY(model->error()->details.contains(u"Operation not permitted"_s));
        QVERIFY(VersionChecker::version(app) == u"1.0.3"_s && !JournalFile::read());
    }

    // Vantor's caches on a 1 MiB disk of their own (a tmpfs in a private mount namespace; the test
    // runs itself again inside `unshare -m`): a 4 MiB release is refused before a byte is fetched,
    // though the temporary folder has room.
    void freeSpaceIsCheckedWhereTheDownloadGoes()
    {
#ifndef __linux__
        QSKIP("a private tmpfs needs Linux's mount namespaces");
#else
        if (!qEnvironmentVariableIsSet("VANTOR_TEST_PRIVATE_MOUNT")) {
            if (::geteuid() != 0 || QStandardPaths::findExecutable(u"unshare"_s).isEmpty())
                QSKIP("needs root and unshare(1) for a private tmpfs");
            qputenv("VANTOR_TEST_PRIVATE_MOUNT", "1"); // its output goes to this test's
            const int status = QProcess::execute(u"unshare"_s, {u"-m"_s, QCoreApplication::applicationFilePath(),
                                                                QString::fromLatin1(QTest::currentTestFunction())});
            qunsetenv("VANTOR_TEST_PRIVATE_MOUNT");
            QCOMPARE(status, 0);
            return;
        }
        const QString caches = m_home.path(u"Library/Caches"_s);
        if (!QDir().mkpath(caches) || ::mount("vantor-test", qPrintable(caches), "tmpfs", 0, "size=1m") != 0)
            QSKIP("tmpfs mount refused");
        publish({.version = u"1.0.4"_s, .publishedSize = 4 * 1024 * 1024});
        auto model = startedModel();
        QCOMPARE(await(model->install(false)), Outcome::failed);
        QCOMPARE(model->error()->message, u"Not enough free disk space. About 4.2 MB is needed while installing."_s);
        QVERIFY2(model->error()->details.contains(caches), qPrintable(errorDetails(*model)));
        QCOMPARE(m_server.hits(u"/download/1.0.4/OpenEmu-Silicon.zip"_s), 0);
#endif
    }

    void updateQuitsRunningOpenEmu()
    {
        const QString app = installedApp(u"1.0.3"_s);
        startOpenEmu(app, {u"--ignore-quit"_s});
        publish({.version = u"1.0.4"_s});
        auto model = startedModel();
        Bundles::write(Paths::previousVersionsFolder(), u"OpenEmu 1.0.2.app"_s, {.version = u"1.0.2"_s});
        model->refreshInstalled();

        // One that will not quit: ten seconds of waiting, the window free all the while, then the
        // update stops. The wait is part of the change: the model is busy all through it (sampled
        // until just before it ends), and any other change asked for meanwhile is refused.
        m_prompter.answers = {0};
        QElapsedTimer timer;
        timer.start();
        int idleSamples = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this,
                [&] { idleSamples += model->isBusy() || timer.elapsed() > 9'000 ? 0 : 1; });
        probe.start(100);
        QCoro::Task<Outcome> updating = model->install(true);
        QTRY_COMPARE(m_prompter.asked.size(), 1); // "OpenEmu is running": Quit, and it won't
        m_prompter.answers = {0, 0, 0, 0};
        m_prompter.fileAnswer = m_home.path(u"backup.zip"_s);
        const QList<std::function<QCoro::Task<Outcome>()>> others{
            [&] { return model->install(true); }, [&] { return model->rollback(); },
            [&] { return model->runRestore(); }, [&] { return model->uninstall(); }, [&] { return model->launch(); }};
        for (const auto &other : others)
            QCOMPARE(await(other()), Outcome::failed);
        QCOMPARE(model->error()->message, u"Vantor is already changing OpenEmu. Wait for that to finish."_s);
        QVERIFY(m_prompter.asked.size() == 1 && m_prompter.panels.isEmpty());
        QCOMPARE(entries(Paths::previousVersionsFolder()), QStringList{u"OpenEmu 1.0.2.app"_s});
        m_prompter.answers.clear();
        await(std::move(updating), 30'000);
        QVERIFY(timer.elapsed() >= 9'500 && idleSamples == 0 && !model->isBusy());
        QCOMPARE(model->error()->message, u"OpenEmu didn't close. Please quit it yourself and try again."_s);
        QCOMPARE(model->error()->details, u"Still running after 10 seconds."_s);
        QCOMPARE(m_prompter.asked.last().id, Prompter::AlertId::stillOpen); // answered Cancel
        QCOMPARE(VersionChecker::version(app), u"1.0.3"_s);
        QCOMPARE(m_server.hits(u"/download/1.0.4/OpenEmu-Silicon.zip"_s), 0);
        m_processes.clear(); // the stubborn one, killed

        // Two that will, the question declined first: nothing changes and OpenEmu keeps running.
        QProcess *first = startOpenEmu(app);
        QProcess *second = startOpenEmu(app);
        m_prompter.answers = {1};
        QCOMPARE(await(model->install(true)), Outcome::declined);
        QVERIFY(first->state() == QProcess::Running && model->phase() == InstallPhase::idle);
        QVERIFY(entries(m_home.temporary()).isEmpty());
        // Then both quit; and one opened while the update downloads (from the Finder, say) is asked
        // to quit too before its app is replaced.
        m_prompter.asked.clear();
        m_prompter.answers = {0, 0};
        QProcess *opened = nullptr;
        const auto opening = connect(model.get(), &AppModel::downloadedChanged, this, [&] {
            if (!opened && model->downloaded() > 0)
                opened = startOpenEmu(app);
        });
        await(model->install(true));
        disconnect(opening);
        QVERIFY2(!model->error(), qPrintable(errorDetails(*model)));
        QCOMPARE(m_prompter.asked.size(), 2);
        QCOMPARE(m_prompter.asked[1].message, u"OpenEmu is running"_s);
        QCOMPARE(m_prompter.asked[0].buttons, (QStringList{u"Quit OpenEmu"_s, u"Cancel"_s}));
        QVERIFY(opened && opened->state() == QProcess::NotRunning);
        QVERIFY(first->state() == QProcess::NotRunning && second->state() == QProcess::NotRunning);
        QCOMPARE(model->installed()->version, u"1.0.4"_s);

        // A slow one (OpenEmu asking the user to save): after ten seconds "Wait", and the update
        // goes on once it has gone.
        publish({.version = u"1.0.5"_s}, model.get());
        startOpenEmu(app, {u"--ignore-quit"_s});
        m_prompter.asked.clear();
        m_prompter.answers = {0, 0};
        const auto closing = connect(&probe, &QTimer::timeout, this, [&] {
            if (m_prompter.asked.size() == 2)
                m_processes.clear();
        });
        QCOMPARE(await(model->install(true), 30'000), Outcome::done);
        disconnect(closing);
        QCOMPARE(m_prompter.asked[1].buttons, (QStringList{u"Wait"_s, u"Cancel"_s}));
        QCOMPARE(model->installed()->version, u"1.0.5"_s);
    }

    // Vantor's own folders and files are never followed: links at the automatic backups, the
    // downloads folder and the interruption journal (a user who moved things, or planted ones)
    // leave what they point to untouched, and the update still works. A broken app never lands.
    void ownPlacesAreNeverFollowed()
    {
        const QString app = installedApp(u"1.0.3"_s);
        publish({.version = u"1.0.4"_s});
        TestFiles::write(m_home.path(u"Library/Application Support/OpenEmu/Save States/SNES/a.oesavestate"_s));
        const QString mine = m_home.path(u"mine"_s);
        for (int i = 0; i < 5; ++i)
            TestFiles::write(mine + u"/backups/OpenEmu-Backup-%1.zip"_s.arg(i));
        TestFiles::write(mine + u"/projects/code/main.c"_s, "int main;");
        TestFiles::write(mine + u"/journal.txt"_s, "mine");
        QVERIFY(QDir().mkpath(Paths::vantorCachesFolder()) && QDir().mkpath(Paths::vantorSupportFolder()));
        QVERIFY(QFile::link(mine + u"/backups"_s, Paths::automaticBackupsFolder()));
        QVERIFY(QFile::link(mine + u"/projects"_s, Paths::vantorCachesFolder() + u"/downloads"_s));
        QVERIFY(QFile::link(mine + u"/journal.txt"_s, JournalFile::path()));
        // A work folder whose owner marker is a FIFO is never waited on.
        QVERIFY(QDir(QDir::tempPath()).mkpath(u"Vantor-fifo"_s));
        QCOMPARE(::mkfifo(QFile::encodeName(QDir::tempPath() + u"/Vantor-fifo/.vantor-owner"_s).constData(), 0600), 0);
        auto model = startedModel();
        QCOMPARE(await(model->install(true)), Outcome::done);
        QVERIFY(VersionChecker::version(app) == u"1.0.4"_s && entries(Paths::automaticBackupsFolder()).size() == 1);
        QCOMPARE(entries(mine + u"/backups"_s).size(), 5);
        QVERIFY(TestFiles::read(mine + u"/projects/code/main.c"_s) == "int main;"
                && TestFiles::read(mine + u"/journal.txt"_s) == "mine");

        // A release whose app has no Info.plist, or the wrong one, changes nothing.
        publish({.version = u"1.0.5"_s, .identifier = u"org.example.Other"_s}, model.get());
        QCOMPARE(await(model->install(true)), Outcome::failed);
        QCOMPARE(model->error()->message, u"The download doesn't contain a working OpenEmu app."_s);
        QCOMPARE(VersionChecker::version(app), u"1.0.4"_s);
    }

    void launchOpensTheApp()
    {
        installedApp(u"1.0.3"_s);
        auto model = startedModel();
        model->setError(std::nullopt); // no release is published here
        await(model->launch());
        QVERIFY(!model->error());
        QTRY_COMPARE_WITH_TIMEOUT(VersionChecker::runningInstances().size(), 1, 5000);
        const RunningApp launched = VersionChecker::runningInstances().first();
        QCOMPARE(launched.bundlePath, model->installed()->url);
        ::kill(pid_t(launched.pid), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(VersionChecker::runningInstances().isEmpty(), 5000);

        QDir(model->installed()->url).removeRecursively();
        await(model->launch());
        QCOMPARE(model->error()->message, u"Opening OpenEmu-Silicon didn't work."_s);
    }

    // The states OpenEmu offers to delete at launch (Delete its default) are backed up before
    // Vantor opens it, once per set; and after an update whose cores put states on that list.
    void statesOpenEmuDeletesAreBackedUpFirst()
    {
        const QString app = installedApp(u"1.0.3"_s);
        Bundles::write(app + u"/Contents/PlugIns/Cores"_s, u"DeSmuME.oecoreplugin"_s,
                       {.identifier = u"org.openemu.desmume"_s, .bundleVersion = u"0.9.11"_s});
        state(u"N64/Mario/a"_s, u"Mupen64Plus"_s, u"2.5.3"_s); // on the list
        state(u"N64/Mario/b"_s, u"Mupen64Plus"_s, u"2.5.10"_s);
        state(u"NDS/Mario/c"_s, u"desmume"_s, u"0.9.11"_s); // on it once DeSmuME 0.9.12 is installed
        auto model = startedModel();
        model->setError(std::nullopt);
        const auto openedOnce = [&] {
            QTRY_COMPARE_WITH_TIMEOUT(VersionChecker::runningInstances().size(), 1, 5000);
            ::kill(pid_t(VersionChecker::runningInstances().first().pid), SIGTERM);
            QTRY_VERIFY_WITH_TIMEOUT(VersionChecker::runningInstances().isEmpty(), 5000);
        };

        QCOMPARE(await(model->launch()), Outcome::done);
        openedOnce();
        QCOMPARE(*model->notice(), u"1 save state that OpenEmu will offer to delete when it opens was backed up first. "
                                   u"When it asks, choose \u201CKeep for Now\u201D to keep them."_s);
        const QStringList zips = entries(Paths::automaticBackupsFolder());
        QCOMPARE(zips.size(), 1);
        QCOMPARE(TestFiles::zipNames(Paths::automaticBackupsFolder() + u'/' + zips.first())
                     .filter(u".oesavestate/"_s)
                     .filter(u"/State"_s),
                 QStringList{u"Application Support/OpenEmu/Save States/N64/Mario/a.oesavestate/State"_s});

        // The same set again: not backed up twice. A new one whose backup can't be made: not opened.
        model->setNotice(std::nullopt);
        QCOMPARE(await(model->launch()), Outcome::done);
        openedOnce();
        QVERIFY(!model->notice());
        QCOMPARE(entries(Paths::automaticBackupsFolder()).size(), 1);
        state(u"N64/Zelda/d"_s, u"Mupen64Plus"_s, u"2.5"_s);
        QVERIFY(QDir(Paths::automaticBackupsFolder()).removeRecursively());
        TestFiles::write(Paths::automaticBackupsFolder()); // a file where the folder goes
        QCOMPARE(await(model->launch()), Outcome::failed);
        QVERIFY(model->error()->message.startsWith(u"Vantor couldn't back up the save states OpenEmu will offer"_s));
        QTest::qWait(300);
        QVERIFY(VersionChecker::runningInstances().isEmpty());
        QFile::remove(Paths::automaticBackupsFolder());

        // An update to DeSmuME 0.9.12 puts the DeSmuME state on the list; its own backup holds it.
        publish({.version = u"1.0.4"_s, .cores = {{u"DeSmuME"_s, u"0.9.12"_s}}}, model.get());
        m_prompter.answers = {0};
        QCOMPARE(await(model->install(true)), Outcome::done);
        QVERIFY2(model->notice()->endsWith(u"3 save states that OpenEmu will offer to delete when it opens were backed "
                                           u"up first. When it asks, choose \u201CKeep for Now\u201D to keep them."_s),
                 qPrintable(*model->notice()));
    }

    void tidyRowsAndShowingThem()
    {
        auto model = startedModel();
        QStringList ids;
        for (const TidyRow &row : model->tidyRows()) {
            ids.append(row.id);
            QVERIFY(!row.exists && row.size == 0);
        }
        QCOMPARE(ids, (QStringList{u"data"_s, u"prefs"_s, u"caches"_s, u"savedstate"_s}));

        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s, {.identifier = u"org.example.OpenEmu"_s});
        TestFiles::write(m_home.path(u"Library/Caches/org.example.OpenEmu/blob"_s), QByteArray(10'000, 'c'));
        model->refreshInstalled();
        await(model->refreshTidy());
        const QList<TidyRow> rows = model->tidyRows();
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0].title, u"The app"_s);
        QCOMPARE(rows[2].url, m_home.path(u"Library/Preferences/org.example.OpenEmu.plist"_s));
        QVERIFY(rows[3].exists);
        QVERIFY(rows[3].size >= 10'000);

        model->reveal(rows[3].url);
        model->reveal(rows[2].url); // missing: its folder is opened instead
        QCOMPARE(m_workspace.revealed, QStringList{rows[3].url});
        QCOMPARE(m_workspace.opened, QList<QUrl>{QUrl::fromLocalFile(m_home.path(u"Library/Preferences"_s))});

        model->openFolder(m_home.path(u"Library"_s)); // (a missing one: the guide page's test)
        QCOMPARE(m_workspace.opened.last(), QUrl::fromLocalFile(m_home.path(u"Library"_s)));

        // A scan that ends after a newer one began leaves the newer rows: the first sizes an app of
        // 10,000 files, the second a small copy in /Applications that appeared meanwhile (and wins).
        for (int i = 0; i < 10'000; ++i)
            TestFiles::write(rows[0].url + u"/Contents/f%1"_s.arg(i));
        QCoro::Task<> older = model->refreshTidy();
        Bundles::write(m_home.systemApplications(), u"OpenEmu.app"_s);
        model->refreshInstalled();
        await(model->refreshTidy());
        await(std::move(older));
        QCOMPARE(model->tidyRows().first().url, m_home.systemApplications() + u"/OpenEmu.app"_s);
    }

    void destroyingTheModelMidAction()
    {
        // While start()'s refreshes run: their tasks end after the model has gone.
        publish({.version = u"1.0.4"_s});
        {
            AppModel model(m_server.urlText(feedPath), m_prompter, m_workspace);
            model.start();
            QVERIFY(model.isSettling());
        }
        drainBackgroundWork();

        // While an install downloads, Cancel: nothing is left, but the partial download to resume.
        auto slow = FeedServer::Route::slowly(QByteArray(64 * 16 * 1024, 'x'), 16 * 1024, 40);
        publish({.version = u"1.0.4"_s, .publishedSize = slow.body.size()});
        m_server.route(u"/download/1.0.4/OpenEmu-Silicon.zip"_s, slow);
        {
            auto model = startedModel();
            QCoro::Task<Outcome> first = model->install(false);
            QCOMPARE(await(model->install(false)), Outcome::failed); // refused while the first goes on
            QTRY_VERIFY(model->downloaded() > 0);
            model->cancelInstall();
            QCOMPARE(await(std::move(first)), Outcome::cancelled);
            QCOMPARE(model->notice(), u"Cancelled. Nothing was changed."_s);
            QVERIFY(!model->installed() && !model->isBusy() && model->phase() == InstallPhase::idle);
            QVERIFY(entries(m_home.temporary()).isEmpty());
            QCOMPARE(m_server.hits(u"/download/1.0.4/OpenEmu-Silicon.zip"_s), 1);
        }
        // Or the model destroyed: the download stops and the work folder goes.
        QVERIFY(QDir(m_home.path(u"Library/Caches/Vantor/downloads"_s)).removeRecursively()); // from the start
        {
            auto model = startedModel();
            QCoro::Task<Outcome> running = model->install(false);
            QTRY_VERIFY(model->downloaded() > 0);
            QCOMPARE(entries(m_home.temporary()).size(), 1);
            model.reset();
            QCOMPARE(await(std::move(running)), Outcome::cancelled);
            QVERIFY(entries(m_home.temporary()).isEmpty());
        }
        drainBackgroundWork();
        QVERIFY(!QFileInfo::exists(m_home.userApplications() + u"/OpenEmu.app"_s));

        // While an update waits for OpenEmu to quit (and says so): Cancel ends the wait; the model
        // destroyed ends the change at once, and its lock with it.
        const QString app = installedApp(u"1.0.3"_s);
        startOpenEmu(app, {u"--ignore-quit"_s});
        publish({.version = u"1.0.4"_s});
        {
            auto model = startedModel();
            m_prompter.answers = {0, 0};
            QCoro::Task<Outcome> cancelled = model->install(true);
            QTRY_COMPARE(model->busyMessage(), u"Waiting for OpenEmu to quit…"_s);
            model->cancelInstall();
            QCOMPARE(await(std::move(cancelled), 5000), Outcome::cancelled);
            QCoro::Task<Outcome> updating = model->install(true);
            QTRY_COMPARE(m_prompter.asked.size(), 2);
            QCOMPARE(ChangeLock::acquire(), std::optional<qint64>(QCoreApplication::applicationPid())); // held
        }
        QCOMPARE(ChangeLock::acquire(), std::nullopt);
        ChangeLock::release();
        drainBackgroundWork();
        QCOMPARE(VersionChecker::version(app), u"1.0.3"_s);
        m_processes.clear();

        // While a backup and a restore run on their background threads.
        QByteArray bytes(16 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 7919) >> 3); // slow to compress, so the step is still running
        TestFiles::write(m_home.path(u"Library/Application Support/OpenEmu/Save States/SNES/game.state"_s), bytes);
        const QString out = m_home.path(u"out"_s);
        QDir().mkpath(out);
        for (const bool restoring : {false, true}) {
            auto model = startedModel();
            const QString zip = QDir(out).absoluteFilePath(QDir(out).entryList(QDir::Files).value(0));
            m_prompter.answers = {0};
            // Gone as soon as the background step has begun.
            connect(model.get(), &AppModel::busyMessageChanged, this, [&] {
                if (model && model->busyMessage())
                    QTimer::singleShot(0, this, [&] { model.reset(); });
            });
            QCoro::Task<Outcome> running = restoring ? model->runRestore(zip) : model->runBackup(out);
            QTRY_VERIFY(!model);
            drainBackgroundWork();
            QCOMPARE(await(std::move(running)), Outcome::done);
        }
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), 1);
    }

    void updatesBackUpSaveStatesFirst()
    {
        const QString app = installedApp(u"1.0.3"_s);
        publish({.version = u"1.0.4"_s});
        auto model = startedModel();
        QDir automatic(m_home.path(u"Library/Application Support/Vantor/Automatic backups"_s));

        // No save states yet: nothing to back up, and nothing said about it.
        QCOMPARE(await(model->install(true)), Outcome::done);
        QVERIFY(!model->notice()->contains(u"backed up"_s));
        QVERIFY(!automatic.exists());

        // With save states: exactly they are backed up, before the update, and the notice says so.
        TestFiles::write(m_home.path(u"Library/Application Support/OpenEmu/Save States/SNES/slot.oesavestate"_s));
        TestFiles::write(m_home.path(u"Library/Application Support/OpenEmu/Mednafen/Battery Saves/game.sav"_s));
        TestFiles::write(m_home.path(u"Library/Application Support/OpenEmu/Game Library/Library.storedata"_s));
        QCOMPARE(await(model->install(true)), Outcome::done);
        QCOMPARE(model->notice(), u"OpenEmu-Silicon 1.0.4 is installed."_s); // the same version, again
        QVERIFY(model->noticeDetails().endsWith(u"\nSave states and battery saves were backed up first."_s));
        QStringList zips = automatic.entryList({u"*.zip"_s}, QDir::Files);
        QCOMPARE(zips.size(), 1);
        QStringList stored = TestFiles::zipNames(automatic.filePath(zips.first())).filter(u"."_s);
        stored.sort();
        QCOMPARE(stored, (QStringList{u"Application Support/OpenEmu/Mednafen/Battery Saves/game.sav"_s,
                                      u"Application Support/OpenEmu/Save States/SNES/slot.oesavestate"_s,
                                      u"Vantor-Backup.json"_s}));

        // Only the three newest stay; the setting turns it off.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(await(model->install(true)), Outcome::done);
        zips = automatic.entryList({u"*.zip"_s}, QDir::Files);
        QCOMPARE(zips.size(), 3);
        model->setAutoBackupBeforeUpdate(false); // (skipped once: vantor-cli update --no-backup)
        await(model->install(true));
        QCOMPARE(automatic.entryList({u"*.zip"_s}, QDir::Files), zips);
        model->setAutoBackupBeforeUpdate(true);

        // Save states kept on a drive that isn't connected: the battery saves are backed up, the
        // update goes on, and the notice says what was left out.
        Bundles::writePreferences(m_home.path(u"Library/Preferences/org.openemu.OpenEmu.plist"_s),
                                  {{u"saveStateFolder"_s, u"file:///Volumes/Away/Save%20States/"_s}});
        QCOMPARE(await(model->install(true)), Outcome::done);
        QVERIFY2(model->notice()->endsWith(u" The save states on a drive that isn't connected were not backed up."_s),
                 qPrintable(*model->notice()));
        QVERIFY(model->noticeDetails().endsWith(u"\nSave states and battery saves were backed up first."_s));
        QFile::remove(m_home.path(u"Library/Preferences/org.openemu.OpenEmu.plist"_s));

        // A backup that fails stops the update before anything is placed, and says so.
        QVERIFY(automatic.removeRecursively());
        TestFiles::write(automatic.path()); // a file where the folder goes
        const QStringList kept = entries(Paths::previousVersionsFolder());
        QCOMPARE(await(model->install(true)), Outcome::failed);
        QVERIFY(model->error()->message.startsWith(u"The backup of your save states before the update didn't work"_s));
        QCOMPARE(entries(Paths::previousVersionsFolder()), kept);
        QCOMPARE(entries(m_home.userApplications()), QStringList{u"OpenEmu.app"_s});
        QVERIFY(QFileInfo(app + u"/Contents/Info.plist"_s).isFile());
    }

    void updatesWarnOfCoresTheyReplace()
    {
        const QString app = installedApp(u"1.0.3"_s);
        const auto core = [](const QString &where, const QString &name, const QString &version) {
            Bundles::write(where, name + u".oecoreplugin"_s,
                           {.identifier = u"org.openemu."_s + name, .bundleVersion = version});
        };
        core(app + u"/Contents/PlugIns/Cores"_s, u"Mupen64Plus"_s, u"2.5.10"_s);
        core(app + u"/Contents/PlugIns/Cores"_s, u"mGBA"_s, u"0.10.5"_s);
        // Application Support's copy is the one OpenEmu loads, whatever the app brings.
        core(m_home.path(u"Library/Application Support/OpenEmu/Cores"_s), u"Snes9x"_s, u"1.63"_s);
        state(u"N64/Mario/a"_s, u"Mupen64Plus"_s, u"2.5.10"_s);
        state(u"N64/Mario/b"_s, u"Mupen64Plus"_s, u"2.5.10"_s);
        state(u"N64/Zelda/c"_s, u"Mupen64Plus"_s, u"2.5.9"_s); // at risk already: not this update's doing
        state(u"SNES/Mario/d"_s, u"Snes9x"_s, u"1.63"_s);
        publish({.version = u"1.0.4"_s,
                 .cores = {{u"Mupen64Plus"_s, u"2.6.0"_s}, {u"Snes9x"_s, u"1.70"_s}, {u"mGBA"_s, u"0.10.5"_s}}});
        auto model = startedModel();

        // Declined: nothing is placed and nothing is backed up.
        m_prompter.answers = {1};
        QCOMPARE(await(model->install(true)), Outcome::declined);
        QCOMPARE(m_prompter.asked.size(), 1);
        QCOMPARE(m_prompter.asked[0].message,
                 u"2 save states were made with Mupen64Plus 2.5.10, which this update replaces with 2.6.0."_s);
        QCOMPARE(m_prompter.asked[0].informative, u"They may not load afterwards. Update anyway?"_s);
        QCOMPARE(m_prompter.asked[0].buttons[m_prompter.asked[0].defaultButton], u"Cancel"_s);
        QCOMPARE(VersionChecker::version(app), u"1.0.3"_s);
        QVERIFY(!QFileInfo::exists(m_home.path(u"Library/Application Support/Vantor/Automatic backups"_s)));

        m_prompter.answers = {0};
        QCOMPARE(await(model->install(true)), Outcome::done);
        QCOMPARE(*model->notice(), u"OpenEmu-Silicon updated to 1.0.4. 2 save states may not load with the new "
                                   u"cores; they were backed up first."_s);
        QVERIFY2(
            model->noticeDetails().endsWith(u"\nSave states and battery saves were backed up first.\n2 save states "
                                            u"were made with Mupen64Plus 2.5.10, which this update replaces with "
                                            u"2.6.0. They may not load now."_s),
            qPrintable(model->noticeDetails()));
        QCOMPARE(SaveStateJudge::stateCount(model->updateCoreChanges()), 2);
        QCOMPARE(VersionChecker::version(app), u"1.0.4"_s);

        // The same cores again, or an app without any: nothing to ask.
        QCOMPARE(await(model->install(true)), Outcome::done);
        publish({.version = u"1.0.5"_s}, model.get());
        QCOMPARE(await(model->install(true)), Outcome::done);
        QCOMPARE(m_prompter.asked.size(), 2);
        QVERIFY(model->updateCoreChanges().isEmpty());
    }

    void signatureCheckedBeforePlacement()
    {
        // Scripts stand in for codesign and spctl; the Team ID depends on which app is asked about.
        const QString tools = m_home.path(u"tools"_s);
        auto script = [&](const QString &name, const QByteArray &body) {
            QFile::setPermissions(TestFiles::write(tools + QLatin1Char('/') + name, "#!/bin/sh\n" + body),
                                  QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        };
        script(u"codesign"_s, "case \"$*\" in *-dv*extracted*) echo TeamIdentifier=$NEW_TEAM;; *-dv*) echo "
                              "TeamIdentifier=OPENEMU;; esac\nexit 0\n");
        script(u"spctl"_s, "[ -n \"$REJECT\" ] && { echo 'rejected (the code is not notarized)'; exit 3; }\nexit 0\n");
        qputenv("VANTOR_SIGNATURE_TOOLS", tools.toUtf8());
        qputenv("NEW_TEAM", "OPENEMU");
        auto unset = qScopeGuard([] {
            qunsetenv("VANTOR_SIGNATURE_TOOLS");
            qunsetenv("NEW_TEAM");
            qunsetenv("REJECT");
        });
        const QString app = installedApp(u"1.0.3"_s);
        publish({.version = u"1.0.4"_s});
        auto model = startedModel();

        // Not notarized, or signed by another team: refused before anything is placed.
        qputenv("REJECT", "1");
        QCOMPARE(await(model->install(true)), Outcome::failed);
        QCOMPARE(model->error()->message, u"The downloaded app's signature isn't valid, so it was not installed."_s);
        QVERIFY(model->error()->details.contains(u"not notarized"_s));
        qunsetenv("REJECT");
        qputenv("NEW_TEAM", "SOMEONE");
        QCOMPARE(await(model->install(true)), Outcome::failed);
        QVERIFY(model->error()->details.contains(u"OPENEMU"_s) && model->error()->details.contains(u"SOMEONE"_s));
        QCOMPARE(VersionChecker::version(app), u"1.0.3"_s);
        QVERIFY(!QFileInfo::exists(Paths::previousVersionsFolder()));

        // The same team, and valid: installed, and only now does the notice say it is signed.
        qputenv("NEW_TEAM", "OPENEMU");
        QCOMPARE(await(model->install(true)), Outcome::done);
        QVERIFY(model->noticeDetails().endsWith(u"so Vantor did not change any Gatekeeper settings."_s));
    }

private:
    std::unique_ptr<AppModel> startedModel()
    {
        auto model = std::make_unique<AppModel>(m_server.urlText(feedPath), m_prompter, m_workspace);
        model->start();
        TestSupport::settle(*model);
        return model;
    }

    // A save state as OpenEmu writes it, at <save states>/<where>.oesavestate, made with
    // org.openemu.<core> at `version`.
    void state(const QString &where, const QString &core, const QString &version)
    {
        const QString bundle
            = m_home.path(u"Library/Application Support/OpenEmu/Save States/"_s) + where + u".oesavestate"_s;
        TestFiles::write(bundle + u"/State"_s, "state");
        Bundles::writePreferences(bundle + u"/Info.plist"_s, {{u"Name"_s, u"Slot"_s},
                                                              {u"ROM MD5"_s, u"0123"_s},
                                                              {u"Core Identifier"_s, u"org.openemu."_s + core},
                                                              {u"Core Version"_s, version}});
    }

    QString installedApp(const QString &version)
    {
        return Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s,
                              {.version = version, .executableSource = Bundles::sampleApp()});
    }

    QProcess *startOpenEmu(const QString &bundle, const QStringList &arguments = {})
    {
        QProcess *process = m_processes.emplace_back(std::make_unique<QProcess>()).get();
        process->start(bundle + u"/Contents/MacOS/OpenEmu"_s, arguments);
        process->waitForStarted();
        // Until it says so it may not yet ignore (or wait for) a request to quit.
        process->waitForReadyRead(10'000);
        return process;
    }

    // Publishes a release; a model given checks for it at once.
    void publish(const SampleRelease::Options &options, AppModel *model = nullptr)
    {
        SampleRelease::publish(m_server, m_home.path(u"release"_s), feedPath, options);
        if (model)
            await(model->checkLatest());
    }

    TestHome &m_home = TestHome::shared();
    FeedServer m_server;
    ScriptedPrompter m_prompter;
    RecordingWorkspace m_workspace;
    std::vector<std::unique_ptr<QProcess>> m_processes; // killed as they are destroyed
};

VANTOR_TEST_CLASS(FlowTest)
#include "FlowTest.moc"
