#include "Await.h"
#include "Bundles.h"
#include "FakeDesk.h"
#include "TestHome.h"
#include "ZipWriter.h"

#include "app/AppModel.h"
#include "base/FriendlyError.h"
#include "base/Paths.h"
#include "datacare/BackupManager.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <clocale>

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

// What Info-ZIP's unzip lists: backups stay plain zips that the standard tools read.
QStringList zipNames(const QString &zip)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    unzip.waitForFinished();
    return QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Everything below a folder, links included, with each file's contents: a snapshot to compare.
QStringList snapshot(const QString &root)
{
    QStringList lines;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QString line = QDir(root).relativeFilePath(info.filePath());
        if (info.isSymLink())
            line += QStringLiteral(" -> ") + info.symLinkTarget();
        else if (info.isFile())
            line += QStringLiteral(" = ") + QString::fromUtf8(readFile(info.filePath()).toHex());
        // Compared as NFC: libarchive composes names on Linux; the Mac's file system keeps either.
        lines.append(line.normalized(QString::NormalizationForm_C));
    }
    lines.sort();
    return lines;
}

} // namespace

class DataCareTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void backupWritesWhatWasChosen();
    void backupFollowsALinkedItem();
    void roundTripKeepsLinksAndNames();
    void restoreReplacesWholeAndKeeps();
    void hostileArchives_data();
    void hostileArchives();

    void backupAndRestoreFlows();
    void uninstallFlows();
    void trashIsMadeWhenMissing();

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

void DataCareTest::backupWritesWhatWasChosen()
{
    // Nothing there yet, and a folder that does not exist: refused, nothing written.
    QVERIFY_THROWS_EXCEPTION(FriendlyError, BackupManager::create(BackupManager::items(), out()));
    seedData();
    try {
        BackupManager::create(BackupManager::items(), out() + QStringLiteral("/missing"));
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, QStringLiteral("The backup folder doesn't exist."));
        QCOMPARE(e.details, out() + QStringLiteral("/missing"));
    }
    // A size larger than any disk leaves no room.
    QList<BackupItem> items = BackupManager::items();
    items[1].size = Q_INT64_C(4'000'000'000'000'000);
    QVERIFY_THROWS_EXCEPTION(FriendlyError, BackupManager::create(items, out()));
    QVERIFY(QDir(out()).isEmpty());

    // Settings only, then everything within the same second: two archives, the second never
    // an update of the first, and no partial file left.
    items = BackupManager::items();
    items[0].include = items[1].include = false;
    const QString first = BackupManager::create(items, out());
    const QString second = BackupManager::create(BackupManager::items(), out());
    QVERIFY(QFileInfo(first).fileName().contains(
        QRegularExpression(QStringLiteral("^OpenEmu-Backup-\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}(-2)?\\.zip$"))));
    QVERIFY(first != second);
    QCOMPARE(zipNames(first), QStringList{QStringLiteral("Preferences/org.openemu.OpenEmu.plist")});
    QVERIFY(zipNames(second).contains(QStringLiteral("Application Support/OpenEmu/Save States/.hidden")));
    QCOMPARE(QDir(out()).entryList(QDir::Files).size(), 2);
    if (QFileInfo(first).fileName().chopped(4) == QFileInfo(second).fileName().chopped(6))
        QVERIFY(second.endsWith(QStringLiteral("-2.zip"))); // same second: the next free name
}

void DataCareTest::backupFollowsALinkedItem()
{
    // Save states moved to another disk, linked back: stored with their contents, and the page
    // shows the size of what will be stored.
    seedData();
    const QString elsewhere = m_home.path(QStringLiteral("Other disk/Save States"));
    QDir().mkpath(QFileInfo(elsewhere).path());
    QVERIFY(QDir().rename(states(QString()), elsewhere));
    QVERIFY(QFile::link(elsewhere, library(QStringLiteral("Application Support/OpenEmu/Save States"))));
    writeFile(elsewhere + QStringLiteral("/big.state"), QByteArray(200'000, 's'));

    QList<BackupItem> items = BackupManager::items();
    QVERIFY(items[0].size >= 200'000);
    items[1].include = items[2].include = false;
    const QString zip = BackupManager::create(items, out());
    QVERIFY(zipNames(zip).contains(QStringLiteral("Application Support/OpenEmu/Save States/big.state")));

    // Restored into a fresh Library, the save states come back as a real folder.
    QDir(library(QString())).removeRecursively();
    BackupManager::restore(zip);
    QVERIFY(!QFileInfo(states(QString())).isSymLink());
    QCOMPARE(readFile(states(QStringLiteral("big.state"))).size(), 200'000);
}

void DataCareTest::roundTripKeepsLinksAndNames()
{
    seedData();
    QVERIFY(QFile::link(QStringLiteral("SNES/game.oesavestate"), states(QStringLiteral("latest"))));
    const QString decomposed = QStringLiteral("Poke\u0301mon Red.oesavestate"); // "é" as e + combining accent
    writeFile(states(decomposed), "gotta save them all");
    // Names stay UTF-8 whatever the locale says.
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    const QString zip = BackupManager::create(BackupManager::items(), out());
    const QStringList before = snapshot(library(QString()));
    QDir(library(QString())).removeRecursively();
    BackupManager::restore(zip);
    std::setlocale(LC_ALL, locale.c_str());

    QCOMPARE(snapshot(library(QString())), before);
    QVERIFY(QFileInfo(states(QStringLiteral("latest"))).isSymLink());

    // A backup made by Info-ZIP (as earlier versions of Vantor made them) still restores.
    const QString old = out() + QStringLiteral("/old.zip");
    QProcess zipTool;
    zipTool.setWorkingDirectory(library(QString()));
    zipTool.start(QStringLiteral("zip"), {QStringLiteral("-r"), QStringLiteral("-q"), QStringLiteral("-y"), old,
                                          QStringLiteral("Application Support/OpenEmu/Save States")});
    QVERIFY(zipTool.waitForFinished() && zipTool.exitCode() == 0);
    QDir(library(QString())).removeRecursively();
    BackupManager::restore(old);
    QVERIFY(QFileInfo(states(QStringLiteral("latest"))).isSymLink());
    QCOMPARE(readFile(states(decomposed.normalized(QString::NormalizationForm_C))), QByteArray("gotta save them all"));
}

void DataCareTest::restoreReplacesWholeAndKeeps()
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
    // No temporary names left behind.
    QVERIFY(QDir(states(QStringLiteral("SNES"))).entryList(QDir::Hidden | QDir::Files).size() == 2);
}

void DataCareTest::hostileArchives_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("data"); // empty for a link entry
    QTest::addColumn<QString>("linkTarget");
    QTest::addColumn<int>("hostByte");
    QTest::addColumn<QString>("unicodeName");
    QTest::addColumn<qint64>("listedSize");
    QTest::addColumn<QString>("second"); // a second entry written after it, or empty
    QTest::addColumn<QString>("secondLink"); // its link target, or empty for a file

    const QString oe = QStringLiteral("Application Support/OpenEmu/");
    const QString prefs = QStringLiteral("Preferences/");
    auto link = [](const QString &name, const QString &target) {
        return std::tuple{name, QByteArray(), target, 3, QString(), qint64(-1)};
    };
    auto row = [](const char *label, auto entry, const QString &second = {}, const QString &secondLink = {}) {
        auto [name, data, target, host, unicode, listed] = entry;
        QTest::newRow(label) << name << data << target << host << unicode << listed << second << secondLink;
    };
    row("foreign names",
        std::tuple{QStringLiteral("Documents/notes.txt"), QByteArray("x"), QString(), 3, QString(), qint64(-1)});
    row("absolute name",
        std::tuple{QStringLiteral("/Preferences/x.plist"), QByteArray("x"), QString(), 3, QString(), qint64(-1)});
    row("zip slip", std::tuple{prefs + QStringLiteral("../../outside/.profile"), QByteArray("pwned"), QString(), 3,
                               QString(), qint64(-1)});
    row("absolute link", link(oe + QStringLiteral("Save States"), QStringLiteral("/tmp")));
    row("link climbs out", link(oe + QStringLiteral("up"), QStringLiteral("../../../outside")));
    row("link to the other top folder", link(prefs + QStringLiteral("home"), QStringLiteral("../Application Support")),
        prefs + QStringLiteral("home/OpenEmu/x"));
    row("entry through a link", link(oe + QStringLiteral("alias"), QStringLiteral("Save States")),
        oe + QStringLiteral("alias/x.state"));
    row("links through links", link(prefs + QStringLiteral("a"), QStringLiteral("b")), prefs + QStringLiteral("b"),
        QStringLiteral("../../outside"));
    row("link with a BeOS host byte",
        std::tuple{prefs + QStringLiteral("home"), QByteArray(), QStringLiteral("../.."), 16, QString(), qint64(-1)},
        prefs + QStringLiteral("home/outside/.profile"));
    row("Unicode path field", std::tuple{prefs + QStringLiteral("ok.plist"), QByteArray("pwned"), QString(), 3,
                                         QStringLiteral("../../outside/.profile"), qint64(-1)});
    row("bomb", std::tuple{oe + QStringLiteral("Save States/huge.state"), QByteArray("tiny"), QString(), 3, QString(),
                           Q_INT64_C(4'000'000'000)});
}

void DataCareTest::hostileArchives()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, data);
    QFETCH(QString, linkTarget);
    QFETCH(int, hostByte);
    QFETCH(QString, unicodeName);
    QFETCH(qint64, listedSize);
    QFETCH(QString, second);
    QFETCH(QString, secondLink);

    seedData();
    writeFile(m_home.path(QStringLiteral("outside/.profile")), "mine");
    const QStringList outside = snapshot(m_home.path(QStringLiteral("outside")));
    const QStringList inside = snapshot(library(QString()));

    ZipWriter zip;
    const ZipWriter::Options options{hostByte, unicodeName, listedSize};
    if (listedSize >= 0) {
        for (int i = 0; i < 250; ++i) // 250 entries of 4 GB each: more than any disk here
            zip.addFile(name + QString::number(i), data, options);
    } else if (linkTarget.isEmpty())
        zip.addFile(name, data, options);
    else
        zip.addLink(name, linkTarget, options);
    if (!second.isEmpty()) {
        if (secondLink.isEmpty())
            zip.addFile(second, "written through");
        else
            zip.addLink(second, secondLink);
    }
    const QString path = out() + QStringLiteral("/hostile.zip");
    QVERIFY(zip.write(path));

    // Refused, or failing part-way: either way nothing outside ~/Library changed, and nothing
    // inside it was truncated.
    bool failed = false;
    try {
        BackupManager::restore(path);
    } catch (...) {
        failed = true;
    }
    QVERIFY(failed);
    QCOMPARE(snapshot(m_home.path(QStringLiteral("outside"))), outside);
    const QStringList after = snapshot(library(QString()));
    for (const QString &line : inside)
        QVERIFY2(after.contains(line), qPrintable(line));
    QCOMPARE(QDir(m_home.home()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("Library"), QStringLiteral("out"), QStringLiteral("outside")}));
}

void DataCareTest::backupAndRestoreFlows()
{
    seedData();
    AppModel model(QStringLiteral("http://127.0.0.1:1/feed"), m_prompter, m_workspace);
    await(model.refreshBackupItems());
    model.setBackupItemIncluded(QStringLiteral("library"), false);

    // The panel cancelled, then the alert declined: nothing written, nothing said.
    QCOMPARE(await(model.runBackup()), Outcome::declined);
    m_prompter.folderAnswer = out();
    m_prompter.answers = {1};
    QCOMPARE(await(model.runBackup()), Outcome::declined);
    QVERIFY(QDir(out()).isEmpty());
    QVERIFY(!model.notice() && !model.error() && !model.busyMessage());

    QList<QString> busy;
    connect(&model, &AppModel::busyMessageChanged, this,
            [&] { busy.append(model.busyMessage().value_or(QStringLiteral("-"))); });
    m_prompter.answers = {0};
    QCOMPARE(await(model.runBackup()), Outcome::done);
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
    QCOMPARE(await(model.runRestore()), Outcome::done);
    QCOMPARE(readFile(states(QStringLiteral("SNES/game.oesavestate"))), QByteArray("state one"));

    // A missing zip and a hostile one are judged before anything is asked.
    for (const QString &bad : {out() + QStringLiteral("/missing.zip"), out() + QStringLiteral("/hostile.zip")}) {
        ZipWriter hostile;
        hostile.addLink(QStringLiteral("Application Support/OpenEmu/x"), QStringLiteral("/"));
        QVERIFY(hostile.write(out() + QStringLiteral("/hostile.zip")));
        m_prompter.fileAnswer = bad;
        m_prompter.asked.clear();
        QCOMPARE(await(model.runRestore()), Outcome::failed);
        QVERIFY(m_prompter.asked.isEmpty());
        QCOMPARE(model.error()->message, bad.endsWith(QStringLiteral("missing.zip"))
                                             ? QStringLiteral("Vantor can't read that zip.")
                                             : notABackup);
        QVERIFY(!QFileInfo::exists(library(QStringLiteral("Application Support/OpenEmu/x"))));
        QVERIFY(!model.busyMessage());
    }
}

void DataCareTest::uninstallFlows()
{
    const QString apps = m_home.userApplications();
    Bundles::write(apps, QStringLiteral("OpenEmu.app"));
    AppModel model(QStringLiteral("http://127.0.0.1:1/feed"), m_prompter, m_workspace);
    model.refreshInstalled();

    // Declined: nothing moves. Then app only, before any Tidy scan: no data offered.
    QCOMPARE(await(model.uninstall()), Outcome::declined);
    QVERIFY(QFileInfo::exists(apps + QStringLiteral("/OpenEmu.app")));
    m_prompter.answers = {0};
    seedData();
    QCOMPARE(await(model.uninstall()), Outcome::done);
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
    QDir(library(QStringLiteral("Caches/org.openemu.OpenEmu"))).removeRecursively();
    m_prompter.answers = {0, 0};
    m_prompter.asked.clear();
    QCOMPARE(await(model.uninstall()), Outcome::failed);
    QCOMPARE(m_prompter.asked[1].id, Prompter::AlertId::uninstallData);
    QCOMPARE(m_prompter.asked[1].informative.count(QStringLiteral("\n• ")), 3);
    QVERIFY(!QFileInfo::exists(library(QStringLiteral("Application Support/OpenEmu"))));
    QCOMPARE(trashed().size(), 4); // two apps, the data folder, the settings file

    // Everything there, with a kept previous version: app, data and the kept copy.
    model.setError(std::nullopt);
    Bundles::write(apps, QStringLiteral("OpenEmu.app"));
    Bundles::write(Paths::previousVersionsFolder(), QStringLiteral("OpenEmu 1.0.2.app"));
    seedData();
    model.refreshInstalled();
    await(model.refreshTidy());
    QCOMPARE(model.tidyRows().last().id, QStringLiteral("previous"));
    m_prompter.answers = {0, 0};
    QCOMPARE(await(model.uninstall()), Outcome::done);
    QCOMPARE(model.notice(), QStringLiteral("The app and its data were moved to the Trash."));
    QVERIFY(!model.installed());
    QVERIFY(!model.hasPrevious());
    await(model.refreshTidy());
    QCOMPARE(model.tidyRows().first().id, QStringLiteral("data"));
}

void DataCareTest::trashIsMadeWhenMissing()
{
    // No data folder yet, and the process working in some other folder: the home trash is made,
    // private to its user, and the item goes there with its .trashinfo.
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    QVERIFY(QDir(data).removeRecursively());
    writeFile(library(QStringLiteral("Preferences/org.openemu.OpenEmu.plist")), "settings");
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(out()));
    auto back = qScopeGuard([&] { QDir::setCurrent(previous); });
    FileOps::moveToTrash(library(QStringLiteral("Preferences/org.openemu.OpenEmu.plist")));
    QCOMPARE(trashed(), QStringList{QStringLiteral("org.openemu.OpenEmu.plist")});
    QVERIFY(QFileInfo::exists(data + QStringLiteral("/Trash/info/org.openemu.OpenEmu.plist.trashinfo")));
    QCOMPARE(QFileInfo(data + QStringLiteral("/Trash")).permissions() & 0x0077, QFileDevice::Permissions());
    QVERIFY(QDir(out()).isEmpty());
}

QTEST_MAIN(DataCareTest)
#include "tst_datacare.moc"
