#include "Await.h"
#include "Bundles.h"
#include "FakeDesk.h"
#include "TestHome.h"
#include "ZipWriter.h"

#include "app/AppModel.h"
#include "base/Paths.h"
#include "base/PlatformError.h"
#include "datacare/BackupManager.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

using TestSupport::await;

namespace {

const QString notABackup
    = QStringLiteral("That zip doesn't look like a backup made by Vantor, so it was not restored.");

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList zipNames(const QString &zip)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    unzip.waitForFinished();
    return QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Everything below a folder, links included, as relative paths.
QStringList tree(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(QDir(root).relativeFilePath(it.next()));
    paths.sort();
    return paths;
}

} // namespace

class DataCareTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void nothingToBackUp();
    void onlyTheSettingsFile();
    void notEnoughRoomAndToolFailure();
    void backupRoundTripKeepsLinks();
    void restoreReplacesAndKeeps();
    void refusesForeignArchives();
    void refusesLinkAttacks_data();
    void refusesLinkAttacks();

    void backupAndRestoreFlows();
    void uninstallFlows();

private:
    QString library(const QString &relative) const { return m_home.path(QStringLiteral("Library/") + relative); }
    QString states(const QString &name) const
    {
        return library(QStringLiteral("Application Support/OpenEmu/Save States/") + name);
    }
    QString out() const { return m_home.path(QStringLiteral("out")); }
    void seedData();
    QStringList trashed() const
    {
        return QDir(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files"))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    TestHome &m_home = TestHome::shared();
    ScriptedPrompter m_prompter;
    RecordingWorkspace m_workspace;
};

void DataCareTest::init()
{
    m_home.reset();
    Paths::setBundleID(Paths::defaultBundleID);
    m_prompter = ScriptedPrompter();
    m_workspace = RecordingWorkspace();
    QDir().mkpath(out());
}

void DataCareTest::seedData()
{
    writeFile(states(QStringLiteral("SNES/game.oesavestate")), "state one");
    writeFile(states(QStringLiteral(".hidden")), "hidden");
    writeFile(library(QStringLiteral("Application Support/OpenEmu/Game Library/Library.storedata")), "library db");
    writeFile(library(QStringLiteral("Preferences/org.openemu.OpenEmu.plist")), "settings");
}

void DataCareTest::nothingToBackUp()
{
    const QList<BackupItem> items = BackupManager::items();
    QCOMPARE(items.size(), 3);
    for (const BackupItem &item : items)
        QVERIFY(!item.exists && !item.include && item.size == 0);
    QCOMPARE(items[2].relativePath, QStringLiteral("Preferences/org.openemu.OpenEmu.plist"));
    try {
        BackupManager::create(items, out());
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message,
                 QStringLiteral("There is nothing to back up yet. OpenEmu hasn't created these folders on this Mac."));
        QVERIFY(e.details.isEmpty());
    }
    QVERIFY(QDir(out()).isEmpty());
}

void DataCareTest::onlyTheSettingsFile()
{
    Paths::setBundleID(QStringLiteral("org.example.OpenEmu"));
    seedData();
    writeFile(library(QStringLiteral("Preferences/org.example.OpenEmu.plist")), "other settings");
    QList<BackupItem> items = BackupManager::items();
    QVERIFY(items[0].exists && items[0].include && items[0].size > 0);
    items[0].include = false;
    items[1].include = false;
    const QString zip = BackupManager::create(items, out());
    QVERIFY(QFileInfo(zip).fileName().contains(
        QRegularExpression(QStringLiteral("^OpenEmu-Backup-\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}\\.zip$"))));
    QCOMPARE(zipNames(zip), QStringList{QStringLiteral("Preferences/org.example.OpenEmu.plist")});
    QCOMPARE(BackupManager::fileName(QDateTime(QDate(2024, 11, 3), QTime(21, 7, 45))),
             QStringLiteral("OpenEmu-Backup-2024-11-03_21-07-45.zip"));
}

void DataCareTest::notEnoughRoomAndToolFailure()
{
    seedData();
    QList<BackupItem> items = BackupManager::items();
    // The sizes are taken as the records carry them: one larger than any disk leaves no room.
    items[1].size = Q_INT64_C(4'000'000'000'000'000);
    try {
        BackupManager::create(items, out());
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QVERIFY2(e.message.startsWith(QStringLiteral("The backup folder's disk doesn't have enough room (4 PB")),
                 qPrintable(e.message));
        QVERIFY(e.details.startsWith(QStringLiteral("Free: ")));
    }
    // zip cannot write into a folder that does not exist: its message, and no zip left.
    try {
        BackupManager::create(BackupManager::items(), out() + QStringLiteral("/missing"));
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, QStringLiteral("A system tool (zip) reported a problem."));
    }
    QVERIFY(QDir(out()).isEmpty());
}

void DataCareTest::backupRoundTripKeepsLinks()
{
    seedData();
    QVERIFY(QFile::link(QStringLiteral("SNES/game.oesavestate"), states(QStringLiteral("latest"))));
    const QString zip = BackupManager::create(BackupManager::items(), out());
    QVERIFY(zipNames(zip).contains(QStringLiteral("Application Support/OpenEmu/Save States/.hidden")));
    const QStringList before = tree(library(QString()));

    QDir(library(QString())).removeRecursively();
    BackupManager::restore(zip);
    QCOMPARE(tree(library(QString())), before);
    QVERIFY(QFileInfo(states(QStringLiteral("latest"))).isSymLink());
    QCOMPARE(readFile(states(QStringLiteral("latest"))), QByteArray("state one"));
}

void DataCareTest::restoreReplacesAndKeeps()
{
    seedData();
    QList<BackupItem> items = BackupManager::items();
    items[1].include = items[2].include = false;
    const QString zip = BackupManager::create(items, out());

    writeFile(states(QStringLiteral("SNES/game.oesavestate")), "newer state");
    writeFile(states(QStringLiteral("SNES/other.oesavestate")), "kept");
    writeFile(library(QStringLiteral("Preferences/org.openemu.OpenEmu.plist")), "changed settings");
    BackupManager::restore(zip);
    QCOMPARE(readFile(states(QStringLiteral("SNES/game.oesavestate"))), QByteArray("state one"));
    QCOMPARE(readFile(states(QStringLiteral("SNES/other.oesavestate"))), QByteArray("kept"));
    QCOMPARE(readFile(library(QStringLiteral("Preferences/org.openemu.OpenEmu.plist"))),
             QByteArray("changed settings"));
}

void DataCareTest::refusesForeignArchives()
{
    writeFile(out() + QStringLiteral("/notes.zip"), "this is not a zip");
    try {
        BackupManager::validate(out() + QStringLiteral("/notes.zip"));
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, QStringLiteral("A system tool (unzip) reported a problem."));
    }

    ZipWriter foreign;
    for (int i = 0; i < 25; ++i)
        foreign.addFile(QStringLiteral("Documents/file%1.txt").arg(i, 2, 10, QLatin1Char('0')), "x");
    QVERIFY(foreign.write(out() + QStringLiteral("/foreign.zip")));
    try {
        BackupManager::validate(out() + QStringLiteral("/foreign.zip"));
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, notABackup);
        const QStringList lines = e.details.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 20);
        QCOMPARE(lines.first(), QStringLiteral("Documents/file00.txt"));
        QCOMPARE(lines.last(), QStringLiteral("Documents/file19.txt"));
    }

    for (const QString &bad :
         {QStringLiteral("Application Support/OpenEmu/a..b"), QStringLiteral("/Preferences/x.plist")}) {
        ZipWriter zip;
        zip.addFile(QStringLiteral("Preferences/fine.plist"), "x");
        zip.addFile(bad, "x");
        QVERIFY(zip.write(out() + QStringLiteral("/bad.zip")));
        QVERIFY_THROWS_EXCEPTION(FriendlyError, BackupManager::restore(out() + QStringLiteral("/bad.zip")));
        QVERIFY(!QFileInfo::exists(library(QStringLiteral("Preferences/fine.plist"))));
    }

    ZipWriter settingsOnly;
    settingsOnly.addFile(QStringLiteral("Preferences/anything at all.plist"), "x");
    QVERIFY(settingsOnly.write(out() + QStringLiteral("/prefs.zip")));
    QCOMPARE(BackupManager::validate(out() + QStringLiteral("/prefs.zip")),
             QStringList{QStringLiteral("Preferences/anything at all.plist")});
}

void DataCareTest::refusesLinkAttacks_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("through"); // an entry written below the link, or empty
    const QString base = QStringLiteral("Application Support/OpenEmu/");
    QTest::newRow("absolute target") << QString(base + QStringLiteral("Save States")) << "/tmp" << QString();
    QTest::newRow("climbs out") << QString(base + QStringLiteral("up")) << "../../../../outside" << QString();
    QTest::newRow("entry through an inside link")
        << QString(base + QStringLiteral("alias")) << "Save States" << QString(base + QStringLiteral("alias/x.state"));
    QTest::newRow("entry through an outside link")
        << QString(base + QStringLiteral("escape")) << "../../../../../outside"
        << QString(base + QStringLiteral("escape/pwned"));
}

void DataCareTest::refusesLinkAttacks()
{
    QFETCH(QString, link);
    QFETCH(QString, target);
    QFETCH(QString, through);
    ZipWriter zip;
    zip.addFile(QStringLiteral("Preferences/org.openemu.OpenEmu.plist"), "settings");
    zip.addLink(link, target);
    if (!through.isEmpty())
        zip.addFile(through, "written through the link");
    QVERIFY(zip.write(out() + QStringLiteral("/attack.zip")));
    try {
        BackupManager::restore(out() + QStringLiteral("/attack.zip"));
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, notABackup);
        QVERIFY2(e.details.contains(through.isEmpty() ? link : through), qPrintable(e.details));
    }
    QVERIFY(!QFileInfo::exists(library(QString())));
    QVERIFY(!QFileInfo::exists(m_home.path(QStringLiteral("outside"))));
}

void DataCareTest::backupAndRestoreFlows()
{
    seedData();
    AppModel model(QStringLiteral("http://127.0.0.1:1/feed"), m_prompter, m_workspace);
    await(model.refreshBackupItems());
    model.setBackupItemIncluded(QStringLiteral("library"), false);

    // The panel cancelled, then the alert declined: nothing written, nothing said.
    await(model.runBackup());
    m_prompter.folderAnswer = out();
    m_prompter.answers = {1};
    await(model.runBackup());
    QVERIFY(QDir(out()).isEmpty());
    QVERIFY(!model.notice() && !model.error() && !model.busyMessage());
    QCOMPARE(m_prompter.asked.last().message,
             QStringLiteral("Back up %1?")
                 .arg(QStringLiteral("%1 KB").arg((model.backupItems()[0].size + model.backupItems()[2].size + 500)
                                                  / 1000)));

    QList<QString> busy;
    connect(&model, &AppModel::busyMessageChanged, this,
            [&] { busy.append(model.busyMessage().value_or(QStringLiteral("-"))); });
    m_prompter.answers = {0};
    await(model.runBackup());
    const QStringList zips = QDir(out()).entryList(QDir::Files);
    QCOMPARE(zips.size(), 1);
    const QString zip = out() + QLatin1Char('/') + zips.first();
    QCOMPARE(model.notice(), QStringLiteral("Backup saved: ") + zip);
    QCOMPARE(m_workspace.revealed, QStringList{zip});
    QCOMPARE(busy, (QList<QString>{QStringLiteral("Creating backup…"), QStringLiteral("-")}));
    QVERIFY(!zipNames(zip).join(QLatin1Char('\n')).contains(QStringLiteral("Game Library")));

    // Restore: the saved state comes back.
    writeFile(states(QStringLiteral("SNES/game.oesavestate")), "lost progress");
    m_prompter.fileAnswer = zip;
    m_prompter.answers = {0};
    await(model.runRestore());
    QCOMPARE(model.notice(), QStringLiteral("Backup restored. You can open OpenEmu now."));
    QCOMPARE(readFile(states(QStringLiteral("SNES/game.oesavestate"))), QByteArray("state one"));
    QCOMPARE(m_prompter.asked.last().style, Prompter::Style::warning);

    // A hostile zip: refused, nothing written.
    ZipWriter hostile;
    hostile.addLink(QStringLiteral("Application Support/OpenEmu/x"), QStringLiteral("/"));
    QVERIFY(hostile.write(out() + QStringLiteral("/hostile.zip")));
    m_prompter.fileAnswer = out() + QStringLiteral("/hostile.zip");
    m_prompter.answers = {0};
    await(model.runRestore());
    QCOMPARE(model.error()->message, notABackup);
    QVERIFY(!QFileInfo::exists(library(QStringLiteral("Application Support/OpenEmu/x"))));
    QVERIFY(!model.busyMessage());
}

void DataCareTest::uninstallFlows()
{
    const QString apps = m_home.userApplications();
    Bundles::write(apps, QStringLiteral("OpenEmu.app"));
    AppModel model(QStringLiteral("http://127.0.0.1:1/feed"), m_prompter, m_workspace);
    model.refreshInstalled();

    // Declined: nothing moves. Then app only, before any Tidy scan: no data offered.
    await(model.uninstall());
    QVERIFY(QFileInfo::exists(apps + QStringLiteral("/OpenEmu.app")));
    QVERIFY(!model.notice() && !model.error());
    m_prompter.answers = {0};
    seedData();
    await(model.uninstall());
    QCOMPARE(model.notice(), QStringLiteral("The app was moved to the Trash."));
    QCOMPARE(m_prompter.asked.size(), 2);
    QCOMPARE(trashed(), QStringList{QStringLiteral("OpenEmu.app")});
    QVERIFY(
        QFileInfo::exists(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/info/OpenEmu.app.trashinfo")));
    QVERIFY(!model.installed());

    // App and data, with one data row gone since the scan: the error, earlier rows in the Trash.
    Bundles::write(apps, QStringLiteral("OpenEmu.app"));
    writeFile(library(QStringLiteral("Caches/org.openemu.OpenEmu/cache.db")), "cache");
    model.refreshInstalled();
    await(model.refreshTidy());
    QFile::remove(library(QStringLiteral("Caches/org.openemu.OpenEmu/cache.db")));
    QDir(library(QStringLiteral("Caches/org.openemu.OpenEmu"))).removeRecursively();
    m_prompter.answers = {0, 0};
    m_prompter.asked.clear();
    await(model.uninstall());
    QCOMPARE(m_prompter.asked.size(), 2);
    const QString list = m_prompter.asked[1].informative;
    QVERIFY(list.startsWith(QStringLiteral("This moves these folders and files to the Trash. It includes your library, "
                                           "save states and BIOS files:\n• ")
                            + library(QStringLiteral("Application Support/OpenEmu")) + QStringLiteral(" (")));
    QCOMPARE(list.count(QStringLiteral("\n• ")), 3);
    QCOMPARE(model.error()->message, QStringLiteral("Moving data to the Trash didn't work."));
    QCOMPARE(model.notice(), QStringLiteral("The app was moved to the Trash."));
    QVERIFY(!QFileInfo::exists(library(QStringLiteral("Application Support/OpenEmu"))));
    QVERIFY(!QFileInfo::exists(library(QStringLiteral("Preferences/org.openemu.OpenEmu.plist"))));
    QCOMPARE(trashed().size(), 4); // two apps, the data folder, the settings file

    // Everything there: app and data.
    model.setError(std::nullopt);
    Bundles::write(apps, QStringLiteral("OpenEmu.app"));
    seedData();
    model.refreshInstalled();
    await(model.refreshTidy());
    m_prompter.answers = {0, 0};
    await(model.uninstall());
    QCOMPARE(model.notice(), QStringLiteral("The app and its data were moved to the Trash."));
    QVERIFY(!model.error());
    QVERIFY(!model.installed());
    await(model.refreshTidy());
    QCOMPARE(model.tidyRows().first().id, QStringLiteral("data"));
}

QTEST_MAIN(DataCareTest)
#include "tst_datacare.moc"
