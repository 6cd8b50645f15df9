#include "Await.h"
#include "Bundles.h"
#include "FakeDesk.h"
#include "TestFiles.h"
#include "TestHome.h"
#include "Thrown.h"
#include "ZipWriter.h"

#include "app/AppModel.h"
#include "app/SaveStateJudge.h"
#include "base/ByteCount.h"
#include "base/FriendlyError.h"
#include "base/Paths.h"
#include "datacare/BackupArchive.h"
#include "datacare/BackupManager.h"
#include "datacare/BiosImport.h"
#include "datacare/Cores.h"
#include "datacare/DataPlaces.h"
#include "datacare/FolderRule.h"
#include "datacare/Tidy.h"
#include "datacare/UninstallItems.h"
#include "datacare/UnreadableZip.h"
#include "platform/FileOps.h"
#include "platform/PlistDepth.h"

#include <QtTest>

#include <clocale>
#ifdef __linux__
#include <sys/mount.h> // Linux's five-argument mount(2)
#endif
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using TestFiles::zipNames;
using TestSupport::await;
using TestSupport::fails;
using TestSupport::thrown;

namespace {

// Everything below a folder, links included, with each file's contents: a snapshot to compare.
QStringList snapshot(const QString &root)
{
    QStringList lines;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QString line = QDir(root).relativeFilePath(info.filePath());
        if (line.contains(u"Vantor/Automatic backups"_s) || line.endsWith(u"Application Support/Vantor"_s))
            continue; // Vantor's safety copies of what a restore replaced, judged where they are made
        if (info.isSymLink())
            line += u" -> "_s + info.symLinkTarget();
        else if (info.isFile())
            line += u" = "_s + QString::fromUtf8(TestFiles::read(info.filePath()).toHex());
        lines.append(line); // names byte for byte: a decomposed name stays decomposed
    }
    lines.sort();
    return lines;
}

// A zip entry made to attack a restore, and what follows it.
struct Hostile
{
    QString name{};
    QByteArray data = "x";
    QString link{}; // a link entry to this target, when set
    ZipWriter::Options options{};
    QString then{}; // a second entry written after it
    QString thenLink{}; // the second entry's link target, for a link
    QString planted{}; // a link already on disk before the restore (relative to ~/Library)
    QString plantedTarget{};
};

} // namespace

Q_DECLARE_METATYPE(Hostile)

class DataCareTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home.reset();
        m_prompter = ScriptedPrompter();
        m_workspace = RecordingWorkspace();
        QDir().mkpath(out());
    }

    void backupWritesWhatWasChosen()
    {
        // Nothing there yet, and a folder that does not exist: refused, nothing written.
        QVERIFY_THROWS_EXCEPTION(FriendlyError, BackupManager::create(BackupManager::items(), out()));
        seedData();
        const auto missing
            = thrown<FriendlyError>([&] { BackupManager::create(BackupManager::items(), out() + u"/m"_s); });
        QVERIFY(missing);
        QCOMPARE(missing->message, u"The backup folder doesn't exist."_s);
        QCOMPARE(missing->details, out() + u"/m"_s);
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
            QRegularExpression(u"^OpenEmu-Backup-\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2}(-2)?\\.zip$"_s)));
        QCOMPARE(zipNames(first), (QStringList{u"Vantor-Backup.json"_s, u"Preferences/org.openemu.OpenEmu.plist"_s}));
        QVERIFY(zipNames(second).contains(u"Application Support/OpenEmu/Save States/.hidden"_s));
        QCOMPARE(QDir(out()).entryList(QDir::Files).size(), 2);
        if (QFileInfo(first).fileName().chopped(4) == QFileInfo(second).fileName().chopped(6))
            QVERIFY(second.endsWith(u"-2.zip"_s)); // same second: the next free name
    }

    void backupFollowsLinkedFolders()
    {
        // OpenEmu's folder moved to another disk and linked back, and its save states moved to a
        // third: both followed by the backup, its sizes, Tidy and a restore.
        seedData();
        const QString openEmu = library(u"Application Support/OpenEmu"_s);
        const QString disk2 = m_home.path(u"Disk 2/OpenEmu"_s), disk3 = m_home.path(u"Disk 3/Save States"_s);
        QDir().mkpath(m_home.path(u"Disk 2"_s)), QDir().mkpath(m_home.path(u"Disk 3"_s));
        QVERIFY(QDir().rename(openEmu, disk2) && QFile::link(disk2, openEmu));
        QVERIFY(QDir().rename(disk2 + u"/Save States"_s, disk3) && QFile::link(disk3, disk2 + u"/Save States"_s));
        TestFiles::write(disk3 + u"/big.state"_s, QByteArray(200'000, 's'));

        QList<BackupItem> items = BackupManager::items();
        QVERIFY(items[0].size >= 200'000);
        const auto tidy = Tidy::scan(std::nullopt);
        QVERIFY(tidy[0].id == u"data"_s && tidy[0].size >= 200'000);
        items = only(items, {u"states"_s});
        const QString zip = BackupManager::create(items, out());
        QVERIFY(zipNames(zip).contains(u"Application Support/OpenEmu/Save States/big.state"_s));

        // Restored where they are now, through both links; then into a fresh Library, as real folders.
        QVERIFY(QFile::remove(disk3 + u"/big.state"_s));
        BackupManager::restore(zip);
        QCOMPARE(TestFiles::read(disk3 + u"/big.state"_s).size(), 200'000);
        QDir(library(QString())).removeRecursively();
        BackupManager::restore(zip);
        QVERIFY(!QFileInfo(openEmu).isSymLink() && !QFileInfo(states(QString())).isSymLink());
        QCOMPARE(TestFiles::read(states(u"big.state"_s)).size(), 200'000);
    }

    void movedFoldersAndEveryKindOfSave()
    {
        // OpenEmu told (in its preferences, binary as the Mac writes them) to keep the library and
        // the save states on another drive; battery saves of two cores; BIOS files, one Flycast's own.
        const QString drive = m_home.path(u"Drive"_s), support = library(u"Application Support/OpenEmu/"_s);
        Bundles::writePreferences(
            library(u"Preferences/org.openemu.OpenEmu.plist"_s),
            {{u"databasePath"_s, u"~/Drive/Library"_s},
             {u"saveStateFolder"_s, QUrl::fromLocalFile(drive + u"/Save States/"_s).toString(QUrl::FullyEncoded)}});
        TestFiles::write(drive + u"/Library/Library.storedata"_s, "database");
        TestFiles::write(drive + u"/Save States/SNES/slot.oesavestate"_s, "moved state");
        TestFiles::write(support + u"Mednafen/Battery Saves/Zelda.sav"_s, "link's save");
        TestFiles::write(support + u"Mupen64Plus/Battery Saves/Mario.eep"_s, "mario's save");
        TestFiles::write(support + u"BIOS/scph5501.bin"_s, "bios");
        TestFiles::write(support + u"Flycast/dc_boot.bin"_s, "dreamcast");
        // The saves PPSSPP and Dolphin keep in their own folders, beside files that aren't saves.
        TestFiles::write(support + u"PPSSPP/PSP/SAVEDATA/ULUS10041/DATA.BIN"_s, "psp save");
        TestFiles::write(support + u"PPSSPP/cache/shader.bin"_s, "cache");
        TestFiles::write(support + u"Dolphin/GC/USA/Card A/01-GZLE.gci"_s, "gc card");
        TestFiles::write(support + u"Dolphin/Wii/title/00010000/data/banner.bin"_s, "wii save");
        TestFiles::write(support + u"Dolphin/Config/Dolphin.ini"_s, "settings");
        QList<BackupItem> items = BackupManager::items();
        QStringList chosen;
        for (const BackupItem &item : items)
            chosen.append(item.id + (item.include ? u"+"_s : u"-"_s));
        QCOMPARE(chosen,
                 (QStringList{u"states+"_s, u"library+"_s, u"battery+"_s, u"bios+"_s, u"screenshots-"_s, u"prefs+"_s}));
        QCOMPARE(items[0].detail, drive + u"/Save States"_s);

        // Stored under their default names, wherever they were read from.
        const QString zip = BackupManager::create(items, out());
        const QStringList names = zipNames(zip);
        for (const QString &name :
             {u"Vantor-Backup.json"_s, u"Save States/SNES/slot.oesavestate"_s, u"Game Library/Library.storedata"_s,
              u"Mednafen/Battery Saves/Zelda.sav"_s, u"Mupen64Plus/Battery Saves/Mario.eep"_s, u"BIOS/scph5501.bin"_s,
              u"Flycast/dc_boot.bin"_s, u"PPSSPP/PSP/SAVEDATA/ULUS10041/DATA.BIN"_s,
              u"Dolphin/GC/USA/Card A/01-GZLE.gci"_s, u"Dolphin/Wii/title/00010000/data/banner.bin"_s})
            QVERIFY2(names.contains(name) || names.contains(u"Application Support/OpenEmu/"_s + name),
                     qPrintable(name));
        QVERIFY(!names.join(u'\n').contains(u"shader.bin"_s) && !names.join(u'\n').contains(u"Dolphin.ini"_s));

        // Restored to where OpenEmu keeps them now, a core's folder made anew; the note isn't written.
        const QStringList onDrive = snapshot(drive), inLibrary = snapshot(library(QString()));
        TestFiles::write(drive + u"/Save States/SNES/slot.oesavestate"_s, "lost");
        QVERIFY(QDir(support + u"Mupen64Plus"_s).removeRecursively());
        QVERIFY(BackupManager::restore(zip).notWritten.isEmpty());
        QCOMPARE(snapshot(drive), onDrive);
        QCOMPARE(snapshot(library(QString())), inLibrary);

        // The drive unplugged while the backup reads it: no zip, and the same sentence.
        const auto unplugged = thrown<FriendlyError>([&] {
            BackupManager::create(items, out(), [&](qint64, qint64) { QDir().rename(drive, drive + u" (away)"_s); });
        });
        QVERIFY(unplugged && unplugged->message.startsWith(u"A folder OpenEmu uses can't be reached."_s));
        QCOMPARE(QDir(out()).entryList(QDir::Files).size(), 1);
        QVERIFY(QDir().rename(drive + u" (away)"_s, drive));

        // The drive unplugged: a backup and a restore stop before anything changes.
        QVERIFY(QDir().rename(drive, drive + u" (away)"_s));
        items = BackupManager::items();
        QVERIFY(!items[0].reachable && !items[1].reachable);
        // Tidy shows the moved save states where they are, and here that they can't be reached.
        const QList<TidyRow> rows = Tidy::scan(std::nullopt);
        const auto moved
            = std::find_if(rows.begin(), rows.end(), [](const TidyRow &row) { return row.id == u"states"_s; });
        QVERIFY(moved != rows.end() && moved->url == drive + u"/Save States"_s
                && moved->absent() == u"can't be reached"_s);
        const auto notBackedUp = thrown<FriendlyError>([&] { BackupManager::create(items, out()); });
        const auto notRestored = thrown<FriendlyError>([&] { BackupManager::restore(zip); });
        for (const auto &refused : {notBackedUp, notRestored}) {
            QVERIFY(refused
                    && refused->message == u"A folder OpenEmu uses can't be reached. Is its drive connected?"_s);
            QVERIFY2(refused->details.contains(drive), qPrintable(refused->details));
        }
        QCOMPARE(QDir(out()).entryList(QDir::Files).size(), 1);
        QCOMPARE(snapshot(library(QString())), inLibrary);

        // A battery-saves folder that is a link out of the home is left out, and said so.
        const QString elsewhere = QDir::tempPath() + u"/vantor-elsewhere-saves"_s;
        TestFiles::write(elsewhere + u"/not-mine.sav"_s, "x");
        QVERIFY(QDir(support + u"Gambatte"_s).mkpath(u"."_s)
                && QFile::link(elsewhere, support + u"Gambatte/Battery Saves"_s));
        items = BackupManager::items();
        QVERIFY(
            items[2].detail.contains(u"Skipped, a link out of your home: "_s + support + u"Gambatte/Battery Saves"_s));
        QVERIFY(!items[2].sources.contains(support + u"Gambatte/Battery Saves"_s));
        QDir(elsewhere).removeRecursively();

        // The drive back but the moved folders gone from it: they can be reached, and a restore
        // makes them.
        QVERIFY(QDir().mkpath(drive));
        items = BackupManager::items();
        QVERIFY(items[0].reachable && items[1].reachable);
        QVERIFY(BackupManager::restore(zip).notWritten.isEmpty());
        QCOMPARE(TestFiles::read(drive + u"/Save States/SNES/slot.oesavestate"_s), QByteArray("moved state"));
    }

    void namesOneFileSystemTakesForOne()
    {
        // Battery saves whose names differ only in case: both restored where names are exact
        // (Linux); where the file system takes them for one name (the Mac's), the first stays and
        // the other is named. The same name twice is one name everywhere.
        const QString folder = u"Application Support/OpenEmu/Mupen64Plus/Battery Saves/"_s;
        ZipWriter writer;
        writer.addFile(folder + u"Mario.eep"_s, "first");
        writer.addFile(folder + u"mario.eep"_s, "second");
        writer.addFile(folder + u"Mario.eep"_s, "again");
        QVERIFY(writer.write(out() + u"/cases.zip"_s));
        const QStringList notWritten = BackupManager::restore(out() + u"/cases.zip"_s).notWritten;
        QCOMPARE(TestFiles::read(library(folder + u"Mario.eep"_s)), QByteArray("first"));
        const bool exactNames = QDir(library(folder)).entryList(QDir::Files).size() == 2;
        QCOMPARE(notWritten, exactNames ? QStringList{folder + u"Mario.eep"_s}
                                        : (QStringList{folder + u"mario.eep"_s, folder + u"Mario.eep"_s}));
    }

    void coresAsOpenEmuLoadsThem()
    {
        // Two in the app, one of them also in Application Support (newer): that copy wins. A core
        // without a readable Info.plist, and a link to one elsewhere, are left out.
        const QString app = Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s);
        const QString inApp = app + u"/Contents/PlugIns/Cores"_s;
        const QString inSupport = library(u"Application Support/OpenEmu/Cores"_s);
        const auto core
            = [](const QString &folder, const QString &name, const QString &version, const QString &system) {
                  Bundles::write(folder, name + u".oecoreplugin"_s,
                                 {.identifier = u"org.openemu."_s + name,
                                  .executableName = name,
                                  .bundleVersion = version,
                                  .systems = {system}});
              };
        core(inApp, u"Mupen64Plus"_s, u"2.5.3"_s, u"openemu.system.n64"_s);
        core(inApp, u"mGBA"_s, u"0.10.5"_s, u"openemu.system.gba"_s);
        core(inSupport, u"Mupen64Plus"_s, u"2.5.10"_s, u"openemu.system.n64"_s);
        TestFiles::write(inSupport + u"/Broken.oecoreplugin/Contents/Info.plist"_s, "not a plist");
        QVERIFY(QFile::link(inApp + u"/mGBA.oecoreplugin"_s, inSupport + u"/Linked.oecoreplugin"_s));
        QStringList seen;
        for (const Core &installed : Cores::installed(app))
            seen.append(installed.name + u' ' + installed.version + u' ' + installed.place + u' '
                        + installed.systems.join(u','));
        QCOMPARE(seen, (QStringList{u"mGBA 0.10.5 app openemu.system.gba"_s,
                                    u"Mupen64Plus 2.5.10 support openemu.system.n64"_s}));
    }

    void saveStatesJudgedAgainstCores()
    {
        const QString states = library(u"Application Support/OpenEmu/Save States/"_s);
        Bundles::write(library(u"Application Support/OpenEmu/Cores"_s), u"Mupen64Plus.oecoreplugin"_s,
                       {.identifier = u"org.openemu.Mupen64Plus"_s, .bundleVersion = u"2.5.10"_s});
        const auto state = [&](const QString &where, const QVariantMap &info, bool withState = true) {
            Bundles::writePreferences(states + where + u".oesavestate/Info.plist"_s, info);
            if (withState)
                TestFiles::write(states + where + u".oesavestate/State"_s, "state");
        };
        const auto made = [](const QString &name, const QString &core, const QString &version) {
            QVariantMap info{{u"Name"_s, name}, {u"ROM MD5"_s, u"0123"_s}, {u"Core Identifier"_s, core}};
            if (!version.isEmpty())
                info.insert(u"Core Version"_s, version);
            return info;
        };
        const QString n64 = u"org.openemu.Mupen64Plus"_s;
        state(u"N64/Mario/a"_s, made(u"OESpecialState_auto"_s, n64, u"2.5.3"_s));
        state(u"N64/Mario/b"_s, made(u"OESpecialState_quick3"_s, n64, u"2.5.10"_s));
        state(u"N64/Mario/c"_s, made(u"Later"_s, n64, u"2.6"_s));
        state(u"N64/Mario/d"_s, made(u"Unversioned"_s, n64, QString()));
        state(u"N64/Mario/e"_s, made(u"Nameless core"_s, n64, u"nightly"_s));
        state(u"GBA/Zelda/f"_s, made(u"No core"_s, u"org.openemu.mGBA"_s, u"0.10.5"_s));
        state(u"N64/Mario/g"_s, made(u"No data"_s, n64, u"2.5.10"_s), false);
        state(u"N64/Mario/h"_s, {{u"Name"_s, u"No identifier"_s}, {u"ROM MD5"_s, u"0123"_s}});
        // Never read: a FIFO as Info.plist (judged unreadable), a file or a link by a bundle's name.
        QDir().mkpath(states + u"N64/Mario/i.oesavestate"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(states + u"N64/Mario/i.oesavestate/Info.plist"_s).constData(), 0600), 0);
        TestFiles::write(states + u"N64/Mario/j.oesavestate"_s, "a file");
        // Hostile Info.plists: 9 MiB of padding, 100,000 levels deep, and a Timestamp of the wrong
        // type (which is never needed: the date is the State file's).
        const QByteArray head = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Name</key><string>";
        const QByteArray tail = "</string><key>ROM MD5</key><string>1</string><key>Core Identifier</key>"
                                "<string>org.openemu.Mupen64Plus</string></dict></plist>";
        TestFiles::write(states + u"N64/Mario/l.oesavestate/Info.plist"_s, head + QByteArray(9 << 20, 'n') + tail);
        TestFiles::write(states + u"N64/Mario/l.oesavestate/State"_s, "state");
        TestFiles::write(states + u"N64/Mario/m.oesavestate/Info.plist"_s,
                         "<plist>" + QByteArray("<array>").repeated(100'000) + QByteArray("</array>").repeated(100'000)
                             + "</plist>");
        TestFiles::write(states + u"N64/Mario/m.oesavestate/State"_s, "state");
        QVariantMap stamped = made(u"Stamped"_s, n64, u"2.5.10"_s);
        stamped.insert(u"Timestamp"_s, QVariantList{1, 2});
        state(u"N64/Mario/n"_s, stamped);
        QVERIFY(QFile::link(states + u"N64/Mario/b.oesavestate"_s, states + u"N64/Mario/k.oesavestate"_s));
        // As OpenEmu judges: the versions as text, a newer format, and the states it offers to
        // delete at launch (cores that crash with them, cores it no longer ships).
        Bundles::write(library(u"Application Support/OpenEmu/Cores"_s), u"DeSmuME.oecoreplugin"_s,
                       {.identifier = u"org.openemu.desmume"_s, .bundleVersion = u"0.9.12"_s});
        state(u"N64/Mario/o"_s, made(u"Padded"_s, n64, u"2.5.10.0"_s));
        QVariantMap future = made(u"Future"_s, n64, u"2.5.10"_s);
        future.insert(u"Version"_s, u"2.0"_s);
        state(u"N64/Mario/p"_s, future);
        state(u"N64/Mario/q"_s, made(u"Crashes"_s, n64, u"2.0.1"_s));
        state(u"GBA/Zelda/r"_s, made(u"Retired"_s, u"org.openemu.VisualBoyAdvance"_s, u"1.8"_s));
        state(u"GameGear/Sonic/s"_s, made(u"Crab on Game Gear"_s, u"org.openemu.CrabEmu"_s, u"0.2.1"_s));
        state(u"ColecoVision/Frogger/t"_s, made(u"Crab on Coleco"_s, u"org.openemu.CrabEmu"_s, u"0.2.1"_s));
        state(u"NDS/Mario/u"_s, made(u"Old DeSmuME"_s, u"org.openemu.desmume"_s, u"0.9.11"_s));
        state(u"NDS/Mario/v"_s, made(u"Newer DeSmuME"_s, u"org.openemu.desmume"_s, u"0.9.11.1"_s));
        state(u"MegaDrive/Sonic/w"_s, made(u"Genesis 1.7.4.6"_s, u"org.openemu.GenesisPlus"_s, u"1.7.4.6"_s));
        state(u"MegaDrive/Sonic/x"_s, made(u"Genesis 1.7.4.7"_s, u"org.openemu.GenesisPlus"_s, u"1.7.4.7"_s));
        QVariantMap dated = made(u"Dated"_s, n64, u"2.5.10"_s);
        dated.insert(u"Timestamp"_s, QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC));
        state(u"N64/Mario/y"_s, dated);

        AppModel model(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
        QStringList judged;
        await(model.refreshSaveStates());
        for (const JudgedState &one : model.saveStates())
            judged.append(one.state.name + u": "_s + one.judgement);
        QCOMPARE(judged, (QStringList{u"Crab on Coleco: core-missing"_s,
                                      u"No core: core-missing"_s,
                                      u"Retired: deleted-at-launch"_s,
                                      u"Crab on Game Gear: deleted-at-launch"_s,
                                      u"Genesis 1.7.4.6: deleted-at-launch"_s,
                                      u"Genesis 1.7.4.7: core-missing"_s,
                                      u"Auto Save State: deleted-at-launch"_s,
                                      u"Quick Save, Slot 3: matches"_s,
                                      u"Later: newer-core"_s,
                                      u"Unversioned: no-version"_s,
                                      u"Nameless core: other-version"_s,
                                      u"No data: unreadable"_s,
                                      u"No identifier: unreadable"_s,
                                      u"i: unreadable"_s,
                                      u"l: unreadable"_s,
                                      u"m: unreadable"_s,
                                      u"Stamped: matches"_s,
                                      u"Padded: other-version"_s,
                                      u"Future: newer-format"_s,
                                      u"Crashes: deleted-at-launch"_s,
                                      u"Dated: matches"_s,
                                      u"Old DeSmuME: deleted-at-launch"_s,
                                      u"Newer DeSmuME: older-core"_s}));
        const auto named = [&](const QString &name) {
            return *std::find_if(model.saveStates().begin(), model.saveStates().end(),
                                 [&](const JudgedState &one) { return one.state.name == name; });
        };
        QCOMPARE(named(u"Dated"_s).state.date, QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC));
        QCOMPARE(SaveStateJudge::explain(named(u"Padded"_s)),
                 u"OpenEmu will warn before loading it: made with Mupen64Plus 2.5.10.0; installed: 2.5.10"_s);
        QCOMPARE(SaveStateJudge::explain(named(u"Crashes"_s)),
                 u"OpenEmu will offer to delete this at launch (made with Mupen64Plus 2.0.1)"_s);
        QVERIFY(SaveStateJudge::explain(named(u"Retired"_s)).startsWith(u"Its core is no longer part of OpenEmu"_s));
        // Without DeSmuME 0.9.12 OpenEmu leaves the older DeSmuME states alone.
        QVERIFY(!SaveStateJudge::deletedAtLaunch(named(u"Old DeSmuME"_s).state, u"0.9.11"_s));
    }

    void preferencesThatCantBeTrusted()
    {
        const QString settings = library(u"Preferences/org.openemu.OpenEmu.plist"_s);
        const QString fallback = library(u"Application Support/OpenEmu/Save States"_s);
        for (const QVariant &value : {QVariant(u"Volumes/Games/Save States"_s), QVariant(u"https://example.com/s/"_s),
                                      QVariant(u"file:///Volumes/Games/../../etc/"_s),
                                      QVariant(u"file:///"_s + QString(5000, u'a')), QVariant(42)}) {
            Bundles::writePreferences(settings, {{u"saveStateFolder"_s, value}});
            QCOMPARE(DataPlaces::find().saveStates, fallback);
        }
        Bundles::writePreferences(settings, {{u"saveStateFolder"_s, u"file:///Volumes/Games/Save%20States/"_s}});
        QCOMPARE(DataPlaces::find().saveStates, u"/Volumes/Games/Save States"_s);
    }

    // A folder OpenEmu's preferences name that isn't OpenEmu's: each one, as each of the three
    // settings (set directly and carried by a zip, restored twice), then a backup, Tidy and an
    // uninstall with data. Nothing outside OpenEmu's own folders changes, and Tidy says why.
    void onlyWhatOpenEmuOwns_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("folder"); // "~"-relative, or one of <apps>, <trash>
        QTest::addColumn<bool>("taken");
        const QList<QPair<const char *, QString>> refused{
            {"home", u"~"_s},
            {"root", u"/"_s},
            {"documents", u"~/Documents"_s},
            {"library", u"~/Library"_s},
            {"application support", u"~/Library/Application Support"_s},
            {"preferences", u"~/Library/Preferences"_s},
            {"inside another app's folder", u"~/Library/Application Support/Other/Data"_s},
            {"user applications", u"~/Applications"_s},
            {"system applications", u"<apps>"_s},
            {"inside an app", u"~/Applications/OpenEmu.app/Contents"_s},
            {"trash", u"<trash>"_s},
            {"vantor's folder", u"~/Library/Application Support/Vantor"_s},
            {"previous versions", u"~/Library/Application Support/Vantor/Previous versions"_s},
            {"openemu's support folder", u"~/Library/Application Support/OpenEmu"_s},
            {"openemu's cores", u"~/Library/Application Support/OpenEmu/Cores"_s},
            {"a file", u"~/Games/outside-file.txt"_s},
            {"a link to the home", u"~/Games/home-link"_s},
            {"hidden settings", u"~/.config/autostart"_s},
        };
        for (const QString &key : {u"databasePath"_s, u"saveStateFolder"_s, u"screenshotFolder"_s}) {
            for (const auto &[name, folder] : refused)
                QTest::addRow("%s: %s", qPrintable(key), name) << key << folder << false;
            QTest::addRow("%s: a folder of its own", qPrintable(key)) << key << u"~/Games/Elsewhere"_s << true;
        }
        QTest::addRow("saveStateFolder: another host") << u"saveStateFolder"_s << u"//host/share"_s << false;
        QTest::addRow("databasePath: someone's files") << u"databasePath"_s << u"~/Games/Papers"_s << false;
    }

    void onlyWhatOpenEmuOwns()
    {
#ifdef Q_OS_MACOS
        QSKIP(
            "its listing names the freedesktop Trash beside the home; on the Mac a test's Trash is the home's .Trash");
#endif
        QFETCH(QString, key);
        QFETCH(QString, folder);
        QFETCH(bool, taken);
        const QString root = QFileInfo(m_home.home()).path();
        const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + u"/Trash"_s;
        // What isn't OpenEmu's: dotfiles, documents, other apps' data and settings, an app, Vantor's own.
        for (const QString &file :
             {u".bashrc"_s, u"Documents/outside-letter.txt"_s, u"Games/outside-file.txt"_s,
              u"Games/Papers/outside-paper.txt"_s, u"Library/Application Support/Other/Data/outside-cookies.db"_s,
              u"Library/Preferences/outside.other.plist"_s, u".config/autostart/outside.desktop"_s,
              u"Library/Application Support/Vantor/outside-vantor.txt"_s,
              u"Library/Application Support/OpenEmu/Cores/Core.oecoreplugin/outside-core"_s})
            TestFiles::write(m_home.path(file), "not OpenEmu's");
        TestFiles::write(m_home.systemApplications() + u"/Other.app/outside-app"_s, "not OpenEmu's");
        TestFiles::write(trash + u"/files/outside-trashed.txt"_s, "not OpenEmu's");
        QVERIFY(QFile::link(m_home.home(), m_home.path(u"Games/home-link"_s)));
        Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s);
        seedData();

        const QString path = folder == u"<apps>"_s    ? m_home.systemApplications()
                             : folder == u"<trash>"_s ? trash
                             : folder.startsWith(u"//"_s)
                                 ? folder
                                 : QDir::cleanPath(m_home.home() + folder.mid(folder.startsWith(u'~') ? 1 : 0));
        const QString value = key == u"databasePath"_s     ? path
                              : folder.startsWith(u"//"_s) ? u"file:"_s + folder
                                                           : QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
        const QString settings = library(u"Preferences/org.openemu.OpenEmu.plist"_s);
        Bundles::writePreferences(settings, {{key, value}});

        // Everything but OpenEmu's own data, as it is now.
        const auto notOpenEmus = [&](bool dataToo) {
            QStringList lines = snapshot(root);
            const QString support = u"home/Library/Application Support/OpenEmu/"_s;
            lines.removeIf([&](const QString &line) {
                for (const QString &mine :
                     {support + u"Save States"_s, support + u"Game Library"_s, support + u"Screenshots"_s,
                      u"home/out"_s, u"tmp"_s, u"config"_s, u"home/Library/Preferences/org.openemu.OpenEmu.plist"_s})
                    if (line.startsWith(mine))
                        return true;
                // An uninstall with data moves OpenEmu's support folder and its app, and the Trash fills.
                // The change lock is Vantor's, made by any change.
                return line.startsWith(u"home/Library/Application Support/Vantor/vantor.lock"_s)
                       || (dataToo
                           && (line.startsWith(support.chopped(1)) || line.startsWith(u"data/Trash"_s)
                               || line.startsWith(u"home/Applications/OpenEmu.app"_s)));
            });
            return lines;
        };
        const QStringList before = notOpenEmus(false);

        const DataPlaces places = DataPlaces::find();
        const QString used = key == u"databasePath"_s      ? places.gameLibrary
                             : key == u"saveStateFolder"_s ? places.saveStates
                                                           : places.screenshots;
        QCOMPARE(used == path, taken);
        // Another host's folder is refused before it is a path: nothing to show for it.
        const bool ruled = !taken && !folder.startsWith(u"//"_s);
        QCOMPARE(places.refused.size(), ruled ? 1 : 0);

        // A backup of everything holds nothing that isn't OpenEmu's.
        QList<BackupItem> items = BackupManager::items();
        for (BackupItem &item : items)
            item.include = item.exists;
        const QString zip = BackupManager::create(items, out());
        for (const QString &name : zipNames(zip))
            QVERIFY2(!name.contains(u"outside"_s) && !name.contains(u".bashrc"_s) && !name.contains(u"OpenEmu.app"_s),
                     qPrintable(name));

        // A zip that carries the setting and a file for every place it could reach, restored twice:
        // the second restore reads the setting the first one wrote.
        ZipWriter hostile;
        hostile.addFile(u"Preferences/org.openemu.OpenEmu.plist"_s, TestFiles::read(settings));
        const QString real = QFileInfo(path).canonicalFilePath().isEmpty() ? path : QFileInfo(path).canonicalFilePath();
        for (const QString &line : before) {
            const QString file = root + u'/' + line.section(u" = "_s, 0, 0).section(u" -> "_s, 0, 0);
            if (!QFileInfo(file).isFile() || !FileOps::isInside(file, real) || file == real)
                continue;
            for (const char *item : {"Game Library/", "Save States/", "Screenshots/"})
                hostile.addFile(u"Application Support/OpenEmu/"_s + QLatin1String(item)
                                    + QDir(real).relativeFilePath(file),
                                "pwned");
        }
        QVERIFY(hostile.write(out() + u"/hostile.zip"_s));
        for (int time = 0; time < 2; ++time) {
            try {
                BackupManager::restore(out() + u"/hostile.zip"_s);
            } catch (...) {
                // Refusing is fine too; changing what isn't OpenEmu's is not.
            }
        }
        QCOMPARE(notOpenEmus(false), before);

        // Tidy names the setting and the folder, offering nothing to do with it.
        const QList<TidyRow> rows = Tidy::scan(std::nullopt);
        const auto shown = std::find_if(rows.begin(), rows.end(), [&](const TidyRow &row) {
            return row.url == path && row.id != u"data"_s && row.id != u"app"_s;
        });
        if (taken)
            QVERIFY(shown != rows.end() && !shown->refused);
        if (ruled) {
            QVERIFY(shown != rows.end() && shown->refused && !shown->exists);
            QCOMPARE(shown->absent(), u"OpenEmu's setting points at a folder Vantor won't touch"_s);
        }

        // Uninstall with data: the app and OpenEmu's folders go, nothing else.
        AppModel model(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
        model.refreshInstalled();
        await(model.refreshTidy());
        m_prompter.answers = {0};
        QStringList all = UninstallItems::ids();
        all.removeAll(u"autobackups"_s);
        QCOMPARE(await(model.uninstall(all)), Outcome::done);
        QStringList after = notOpenEmus(true), expected = before;
        expected.removeIf([&](const QString &line) {
            return line.startsWith(u"home/Library/Application Support/OpenEmu"_s) || line.startsWith(u"data/Trash"_s)
                   || line.startsWith(u"home/Applications/OpenEmu.app"_s)
                   || (taken && line.startsWith(QDir(root).relativeFilePath(path)));
        });
        if (taken)
            after.removeIf([&](const QString &line) { return line.startsWith(QDir(root).relativeFilePath(path)); });
        QCOMPARE(after, expected);
        QCOMPARE(TestFiles::read(trash + u"/files/outside-trashed.txt"_s), QByteArray("not OpenEmu's"));
    }

    // Two of the three folders never overlap, and a moved game library is OpenEmu's only when it
    // holds OpenEmu's database or nothing yet.
    void movedFoldersNeverOverlap()
    {
        const QString settings = library(u"Preferences/org.openemu.OpenEmu.plist"_s);
        const QString games = m_home.path(u"Games"_s);
        const auto url = [](const QString &path) { return QUrl::fromLocalFile(path).toString(); };
        Bundles::writePreferences(settings, {{u"saveStateFolder"_s, url(games + u"/Saves"_s)},
                                             {u"screenshotFolder"_s, url(games + u"/Saves/Shots"_s)}});
        QDir().mkpath(games);
        DataPlaces places = DataPlaces::find();
        QCOMPARE(places.refused.size(), 1);
        QVERIFY(!FolderRule::overlap(places.saveStates, places.screenshots));

        TestFiles::write(games + u"/Lib/notes.txt"_s, "mine");
        Bundles::writePreferences(settings, {{u"databasePath"_s, u"~/Games/Lib"_s}});
        QCOMPARE(DataPlaces::find().gameLibrary, library(u"Application Support/OpenEmu/Game Library"_s));
        TestFiles::write(games + u"/Lib/Library.storedata"_s, "db");
        QCOMPARE(DataPlaces::find().gameLibrary, games + u"/Lib"_s);
        Bundles::writePreferences(settings, {{u"databasePath"_s, u"~/Games/Empty"_s}});
        QDir().mkpath(games + u"/Empty"_s);
        QCOMPARE(DataPlaces::find().gameLibrary, games + u"/Empty"_s);
    }

    // Restored files get a user's ordinary modes, and backups record them the same way.
    void modesAreTheUsersOwn()
    {
        const QString oe = u"Application Support/OpenEmu/Save States/SNES/"_s;
        ZipWriter writer;
        writer.addFile(oe + u"setuid"_s, "x", {.mode = 06777});
        writer.addFile(oe + u"private"_s, "x", {.mode = 0600});
        writer.addFile(oe + u"shared"_s, "x", {.mode = 0666});
        QVERIFY(writer.write(out() + u"/modes.zip"_s));
        BackupManager::restore(out() + u"/modes.zip"_s);
        const auto mode = [](const QString &path) {
            struct stat st = {};
            ::lstat(QFile::encodeName(path).constData(), &st);
            return st.st_mode & 07777;
        };
        QCOMPARE(mode(states(u"SNES/setuid"_s)), 0755u);
        QCOMPARE(mode(states(u"SNES/private"_s)), 0600u);
        QCOMPARE(mode(states(u"SNES/shared"_s)), 0644u);

        QCOMPARE(::chmod(QFile::encodeName(states(u"SNES/setuid"_s)).constData(), 06777), 0);
        QCOMPARE(::chmod(QFile::encodeName(states(u"SNES"_s)).constData(), 01777), 0);
        const QString zip = BackupManager::create(only(BackupManager::items(), {u"states"_s}), out());
        QProcess info;
        info.start(u"zipinfo"_s, {zip});
        QVERIFY(info.waitForFinished());
        const QString listing = QString::fromUtf8(info.readAllStandardOutput());
        for (const QString &line : listing.split(u'\n')) {
            if (line.endsWith(u"SNES/setuid"_s))
                QVERIFY2(line.startsWith(u"-rwxr-xr-x"_s), qPrintable(line));
            if (line.endsWith(u"SNES/"_s))
                QVERIFY2(line.startsWith(u"drwxr-xr-x"_s), qPrintable(line));
        }
        QVERIFY(listing.contains(u"SNES/setuid"_s));
    }

    // A binary plist of 200-odd bytes whose objects refer to each other over and over expands to
    // hundreds of billions of objects: refused before any parser sees it, wherever Vantor reads one.
    void plistsThatRepeatTheirObjects()
    {
        const QByteArray bomb = TestFiles::repeatingPlist();
        QVERIFY(bomb.size() < 300);
        QVERIFY(!PlistDepth::within(bomb, 64));
        QVERIFY(PlistDepth::within(bomb, 64, Q_UINT64_C(1'000'000'000'000)));

        TestFiles::write(library(u"Preferences/org.openemu.OpenEmu.plist"_s), bomb);
        TestFiles::write(states(u"N64/Mario/a.oesavestate/Info.plist"_s), bomb);
        TestFiles::write(states(u"N64/Mario/a.oesavestate/State"_s), "state");
        TestFiles::write(library(u"Application Support/OpenEmu/Cores/Bomb.oecoreplugin/Contents/Info.plist"_s), bomb);
        QCOMPARE(DataPlaces::find().saveStates, states(QString()).chopped(1));
        const QList<SaveState> found = SaveStates::scan(states(QString()));
        QVERIFY(found.size() == 1 && !found.first().readable);
        QVERIFY(Cores::installed(std::nullopt).isEmpty());
        QVERIFY(!Tidy::scan(std::nullopt).isEmpty());
    }

    // What a killed restore or backup left is removed by the next one: only Vantor's own names,
    // only files and links, never what a link leads to.
    void leftoversOfAKilledRun()
    {
        seedData();
        const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        const QString stale = states(u"SNES/.vantor-restore-"_s + uuid);
        TestFiles::write(stale, "half");
        TestFiles::write(library(u"Application Support/OpenEmu/Game Library/.vantor-restore-"_s + uuid), "half");
        TestFiles::write(states(u".vantor-restore-mine"_s), "not Vantor's naming");
        QDir().mkpath(states(u".vantor-restore-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces)));
        const QString partial = out() + u"/OpenEmu-Backup-2024-01-02_03-04-05.zip.partial"_s;
        TestFiles::write(partial, "half a zip");
        TestFiles::write(out() + u"/notes.zip.partial"_s, "mine");
        const QString target = TestFiles::write(m_home.path(u"Documents/precious"_s), "mine");
        QVERIFY(QFile::link(target, out() + u"/OpenEmu-Backup-2024-01-02_03-04-06.zip.partial"_s));

        // Tidy, which takes no lock, leaves what was written a moment ago: a change may be writing it.
        AppModel model(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
        await(model.refreshTidy());
        QVERIFY(QFileInfo::exists(stale));

        const QString zip = BackupManager::create(only(BackupManager::items(), {u"states"_s, u"library"_s}), out());
        QVERIFY(!QFileInfo::exists(stale) && !QFileInfo::exists(partial));
        QVERIFY(!zipNames(zip).join(u'\n').contains(u"vantor-restore-"_s + uuid));
        QCOMPARE(TestFiles::entries(states(QString())).filter(u".vantor-restore-"_s).size(), 2);
        QVERIFY(QFileInfo::exists(out() + u"/notes.zip.partial"_s));
        QVERIFY(QFileInfo(out() + u"/OpenEmu-Backup-2024-01-02_03-04-06.zip.partial"_s).isSymLink());
        QCOMPARE(TestFiles::read(target), QByteArray("mine"));

        TestFiles::write(stale, "half");
        BackupManager::restore(zip);
        QVERIFY(!QFileInfo::exists(stale));
    }

    // A scan stops reading at its cap and says how many it left out.
    void saveStateScanCap()
    {
        const QByteArray root = QFile::encodeName(states(QString()));
        QDir().mkpath(states(QString()));
        for (int game = 0; game < 101; ++game) {
            const QByteArray folder = root + "G" + QByteArray::number(game);
            QCOMPARE(::mkdir(folder.constData(), 0755), 0);
            for (int slot = 0; slot < (game == 100 ? 3 : 1000); ++slot)
                QCOMPARE(::mkdir((folder + '/' + QByteArray::number(slot) + ".oesavestate").constData(), 0755), 0);
        }
        qsizetype leftOut = -1;
        QCOMPARE(SaveStates::scan(states(QString()), &leftOut).size(), SaveStates::maxBundles);
        QCOMPARE(leftOut, 3);
        QCOMPARE(SaveStateJudge::leftOutNote(leftOut),
                 u"Vantor reads at most 100,000 save states; 3 more weren't checked."_s);
        QVERIFY(SaveStateJudge::leftOutNote(0).isEmpty());
    }

    // A backup folder chosen inside a folder being backed up: the zip leaves itself out.
    void backupIntoWhatItBacksUp()
    {
        seedData();
        const QString zip = BackupManager::create(only(BackupManager::items(), {u"states"_s}), states(QString()));
        QVERIFY(!zipNames(zip).join(u'\n').contains(u".zip"_s));
        QVERIFY(zipNames(zip).contains(u"Application Support/OpenEmu/Save States/SNES/game.oesavestate"_s));
    }

    void roundTripKeepsLinksAndNames()
    {
        seedData();
        QVERIFY(QFile::link(u"SNES/game.oesavestate"_s, states(u"latest"_s)));
        const QString decomposed = u"Poke\u0301mon Red.oesavestate"_s; // "é" as e + combining accent
        TestFiles::write(states(decomposed), "gotta save them all");
        // Names stay UTF-8 whatever the locale says.
        const std::string locale = std::setlocale(LC_ALL, nullptr);
        std::setlocale(LC_ALL, "C");
        const QString zip = BackupManager::create(BackupManager::items(), out());
        const QStringList before = snapshot(library(QString()));
        QDir(library(QString())).removeRecursively();
        BackupManager::restore(zip);
        std::setlocale(LC_ALL, locale.c_str());

        QCOMPARE(snapshot(library(QString())), before);
        QVERIFY(QFileInfo(states(u"latest"_s)).isSymLink());

        // A backup made by Info-ZIP (as earlier versions of Vantor made them) still restores.
        const QString old = out() + u"/old.zip"_s;
        QProcess zipTool;
        zipTool.setWorkingDirectory(library(QString()));
        zipTool.start(u"zip"_s, {u"-r"_s, u"-q"_s, u"-y"_s, old, u"Application Support/OpenEmu/Save States"_s});
        QVERIFY(zipTool.waitForFinished() && zipTool.exitCode() == 0);
        QDir(library(QString())).removeRecursively();
        BackupManager::restore(old);
        QVERIFY(QFileInfo(states(u"latest"_s)).isSymLink());
        QCOMPARE(TestFiles::read(states(decomposed)), QByteArray("gotta save them all"));
    }

    void restoreReplacesWholeAndKeeps()
    {
        seedData();
        QList<BackupItem> items = BackupManager::items();
        items = only(items, {u"states"_s});
        const QString zip = BackupManager::create(items, out());

        TestFiles::write(states(u"SNES/game.oesavestate"_s), "newer state");
        TestFiles::write(states(u"SNES/other.oesavestate"_s), "kept");
        TestFiles::write(library(u"Preferences/org.openemu.OpenEmu.plist"_s), "changed settings");
        BackupManager::restore(zip);
        QCOMPARE(TestFiles::read(states(u"SNES/game.oesavestate"_s)), QByteArray("state one"));
        QCOMPARE(TestFiles::read(states(u"SNES/other.oesavestate"_s)), QByteArray("kept"));
        QCOMPARE(TestFiles::read(library(u"Preferences/org.openemu.OpenEmu.plist"_s)), QByteArray("changed settings"));
        // No temporary names left behind.
        QVERIFY(QDir(states(u"SNES"_s)).entryList(QDir::Hidden | QDir::Files).size() == 2);
    }

    // ~/Library on a 1 MiB tmpfs in a private mount namespace (root only; the test runs itself again
    // inside `unshare -m`). A zip larger than the free space is refused up front; one that fits by
    // its byte count but not by the disk's blocks fails part-way, and the save state it was
    // replacing is left byte for byte as it was.
    void restoreOnANearlyFullDisk()
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
        const QByteArray mountPoint = QFile::encodeName(library(QString()));
        QDir().mkpath(library(QString()));
        if (::mount("vantor-test", mountPoint.constData(), "tmpfs", 0, "size=1m,nr_inodes=4096") != 0)
            QSKIP("tmpfs mount refused");
        const QByteArray saved(64 * 1024, 'a');
        TestFiles::write(states(u"SNES/game.oesavestate"_s), saved);
        const QStringList before = snapshot(library(QString()));

        ZipWriter tooBig;
        tooBig.addFile(u"Application Support/OpenEmu/Save States/big.oesavestate"_s, "x", {3, {}, 2 * 1024 * 1024, {}});
        QVERIFY(tooBig.write(out() + u"/too-big.zip"_s));
        const auto refused = thrown<FriendlyError>([&] { BackupManager::restore(out() + u"/too-big.zip"_s); });
        QVERIFY(refused);
        QCOMPARE(refused->message, u"There isn't enough free space to restore this backup."_s);
        QVERIFY(refused->details.startsWith(u"Needed: "_s) && refused->details.contains(u"\nFree: "_s));
        QCOMPARE(snapshot(library(QString())), before);

        // One-byte files each take a whole block: they leave two blocks, then the 128 KiB
        // replacement of the 64 KiB save state runs out of room, even where writing over it would
        // first free its blocks.
        struct statvfs disk;
        QCOMPARE(::statvfs(mountPoint.constData(), &disk), 0);
        ZipWriter filling;
        for (fsblkcnt_t i = 0; i + 2 < disk.f_bavail; ++i)
            filling.addFile(u"Application Support/OpenEmu/Save States/fill/%1"_s.arg(i), "f");
        filling.addFile(u"Application Support/OpenEmu/Save States/SNES/game.oesavestate"_s,
                        QByteArray(128 * 1024, 'b'));
        QVERIFY(filling.write(out() + u"/filling.zip"_s));
        QVERIFY(fails([&] { BackupManager::restore(out() + u"/filling.zip"_s); }));
        QCOMPARE(TestFiles::read(states(u"SNES/game.oesavestate"_s)), saved);
        QCOMPARE(QDir(states(u"SNES"_s)).entryList(QDir::Files | QDir::Hidden), QStringList{u"game.oesavestate"_s});
        ::umount(mountPoint.constData());
#endif
    }

    void hostileArchives_data()
    {
        QTest::addColumn<Hostile>("zip");
        const QString oe = u"Application Support/OpenEmu/"_s;
        const QString prefs = u"Preferences/"_s;
        QTest::newRow("foreign names") << Hostile{.name = u"Documents/notes.txt"_s};
        QTest::newRow("absolute name") << Hostile{.name = u"/Preferences/x.plist"_s};
        QTest::newRow("zip slip") << Hostile{.name = prefs + u"../../outside/.profile"_s, .data = "pwned"};
        QTest::newRow("absolute link") << Hostile{.name = oe + u"Save States"_s, .link = u"/tmp"_s};
        QTest::newRow("link climbs out") << Hostile{.name = oe + u"up"_s, .link = u"../../../outside"_s};
        QTest::newRow("link to the other top folder") << Hostile{
            .name = prefs + u"home"_s, .link = u"../Application Support"_s, .then = prefs + u"home/OpenEmu/x"_s};
        QTest::newRow("entry through a link")
            << Hostile{.name = oe + u"alias"_s, .link = u"Save States"_s, .then = oe + u"alias/x.state"_s};
        QTest::newRow("links through links")
            << Hostile{.name = prefs + u"a"_s, .link = u"b"_s, .then = prefs + u"b"_s, .thenLink = u"../../outside"_s};
        QTest::newRow("link with a BeOS host byte") << Hostile{.name = prefs + u"home"_s,
                                                               .link = u"../.."_s,
                                                               .options = {.hostByte = 16},
                                                               .then = prefs + u"home/outside/.profile"_s};
        QTest::newRow("Unicode path field") << Hostile{.name = prefs + u"ok.plist"_s,
                                                       .data = "pwned",
                                                       .options = {.unicodePathField = u"../../outside/.profile"_s}};
        QTest::newRow("local and central names differ")
            << Hostile{.name = prefs + u"ok.plist"_s, .options = {.localName = oe + u"Save States/elsewhere.state"_s}};
        QTest::newRow("sizes that disagree") << Hostile{.name = oe + u"Save States/a.state"_s,
                                                        .data = QByteArray(5000, 's'),
                                                        .options = {.listedSize = 10, .localListedSize = 5000}};
        // Judged against the disk: a link left by an earlier restore (or anyone) is never passed
        // through, and a link's target is followed through the links already there.
        QTest::newRow("write through a link on disk") << Hostile{.name = prefs + u"d1/d2/c/pwned.txt"_s,
                                                                 .planted = prefs + u"d1/d2/c"_s,
                                                                 .plantedTarget = u"../../../../outside"_s};
        QTest::newRow("link through a link on disk") << Hostile{.name = prefs + u"d1/d2/c"_s,
                                                                .link = u"b/../../outside"_s,
                                                                .planted = prefs + u"d1/d2/b"_s,
                                                                .plantedTarget = u"../.."_s};
        QTest::newRow("link through a link of the zip") << Hostile{.name = prefs + u"d1/d2/b"_s,
                                                                   .link = u"../.."_s,
                                                                   .then = prefs + u"d1/d2/c"_s,
                                                                   .thenLink = u"b/../../outside"_s};
        // Names no backup of Vantor's holds: a core's program (set-user-ID), key bindings, another
        // app's settings, a folder OpenEmu doesn't have, a core's own files beside its saves.
        QTest::newRow("a core") << Hostile{.name = oe + u"Cores/Mupen64Plus.oecoreplugin/Contents/MacOS/Mupen64Plus"_s,
                                           .options = {.mode = 04755}};
        QTest::newRow("key bindings") << Hostile{.name = oe + u"Bindings/SNES.oebindings"_s};
        QTest::newRow("another app's settings") << Hostile{.name = prefs + u"com.apple.finder.plist"_s};
        QTest::newRow("settings below the top") << Hostile{.name = prefs + u"ByHost/org.openemu.OpenEmu.plist"_s};
        QTest::newRow("unknown folder") << Hostile{.name = oe + u"Shaders/evil.metal"_s};
        QTest::newRow("a core's own files") << Hostile{.name = oe + u"Mednafen/mednafen.cfg"_s};
        QTest::newRow("bomb") << Hostile{.name = oe + u"Save States/huge.state"_s,
                                         .data = "tiny",
                                         .options = {.listedSize = Q_INT64_C(4'000'000'000)}};
    }

    void hostileArchives()
    {
        QFETCH(Hostile, zip);
        seedData();
        TestFiles::write(m_home.path(u"outside/.profile"_s), "mine");
        if (!zip.planted.isEmpty()) {
            QDir().mkpath(QFileInfo(library(zip.planted)).path());
            QVERIFY(QFile::link(zip.plantedTarget, library(zip.planted)));
        }
        const QStringList outside = snapshot(m_home.path(u"outside"_s));
        const QStringList inside = snapshot(library(QString()));

        ZipWriter writer;
        if (zip.options.listedSize >= 0) {
            for (int i = 0; i < 250; ++i) // 250 entries of 4 GB each: more than any disk here
                writer.addFile(zip.name + QString::number(i), zip.data, zip.options);
        } else if (zip.link.isEmpty())
            writer.addFile(zip.name, zip.data, zip.options);
        else
            writer.addLink(zip.name, zip.link, zip.options);
        if (!zip.then.isEmpty() && zip.thenLink.isEmpty())
            writer.addFile(zip.then, "written through");
        else if (!zip.then.isEmpty())
            writer.addLink(zip.then, zip.thenLink);
        const QString path = out() + u"/hostile.zip"_s;
        QVERIFY(writer.write(path));

        // Refused, or failing part-way: either way nothing outside ~/Library changed, and nothing
        // inside it was truncated.
        QVERIFY(fails([&] { BackupManager::restore(path); }));
        QCOMPARE(snapshot(m_home.path(u"outside"_s)), outside);
        const QStringList after = snapshot(library(QString()));
        for (const QString &line : inside)
            QVERIFY2(after.contains(line), qPrintable(line));
        for (const QString &line : after) // and no link was made that something else might follow
            QVERIFY2(!line.contains(u" -> "_s) || inside.contains(line), qPrintable(line));
        QCOMPARE(QDir(m_home.home()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{u"Library"_s, u"out"_s, u"outside"_s}));
    }

    // Known dumps found by their contents wherever they are and whatever they're called; hostile
    // sources are skipped and said; nothing outside the BIOS folder changes.
    void biosImportByContents()
    {
        const auto md5 = [](const QByteArray &bytes) {
            return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        };
        const QList<BiosImport::Known> known{{u"scph5501.bin"_s, md5("psx")},
                                             {u"dc_boot.bin"_s, md5("dreamcast")},
                                             {u"lynxboot.img"_s, md5("lynx")},
                                             {u"syscard3.pce"_s, md5("headered"), true}};
        const QString in = m_home.path(u"Downloads"_s);
        TestFiles::write(in + u"/PSX BIOS (USA).bin"_s, "psx");
        TestFiles::write(in + u"/more/copy of psx.bin"_s, "psx");
        TestFiles::write(in + u"/readme.txt"_s, "not a BIOS");
        TestFiles::write(in + u"/.DS_Store"_s, "lynx"); // hidden: never looked at
        TestFiles::write(in + u"/card.pce"_s, "headered");
        TestFiles::write(m_home.path(u"outside/lynx.img"_s), "lynx");
        QVERIFY(QFile::link(m_home.path(u"outside/lynx.img"_s), in + u"/linked.img"_s)); // not followed
        QCOMPARE(::mkfifo(QFile::encodeName(in + u"/pipe.bin"_s).constData(), 0600), 0);
        QFile sparse(in + u"/huge.img"_s);
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(Q_INT64_C(10) << 30)); // 10 GB of holes
        sparse.close();
        ZipWriter zip;
        zip.addFile(u"../x"_s, "dreamcast");
        zip.addFile(u"__MACOSX/._x"_s, "lynx");
        zip.addFile(u"bomb.bin"_s, QByteArray(BiosImport::maxFileBytes + 1, '\0'), {.listedSize = 10});
        zip.addLink(u"link.bin"_s, u"/etc/passwd"_s);
        QVERIFY(zip.write(in + u"/more/Sega.ZIP"_s));
        // The user names a link to a file themselves: that one is followed.
        QVERIFY(QFile::link(m_home.path(u"outside/lynx.img"_s), m_home.path(u"named.img"_s)));

        const BiosImport::Gathered found = BiosImport::gather({in, m_home.path(u"named.img"_s)}, known);
        QStringList matched;
        for (const BiosImport::Match &match : found.matches)
            matched.append(match.name + u" <- "_s + QString(match.source).remove(in + u'/'));
        QCOMPARE(matched, (QStringList{u"scph5501.bin <- PSX BIOS (USA).bin"_s, u"dc_boot.bin <- Sega.ZIP: ../x"_s,
                                       u"lynxboot.img <- "_s + m_home.path(u"named.img"_s)}));
        QCOMPARE(found.unrecognised, 1);
        QStringList skipped;
        for (const BiosImport::Skipped &one : found.skipped)
            skipped.append(one.source.section(u'/', -1) + u": "_s + one.reason);
        skipped.sort();
        QCOMPARE(skipped, (QStringList{u"Sega.ZIP: bomb.bin: too large to be a BIOS file"_s,
                                       u"Sega.ZIP: link.bin: not a regular file"_s,
                                       u"card.pce: a known bad dump of syscard3.pce"_s,
                                       u"copy of psx.bin: the same as "_s + in + u"/PSX BIOS (USA).bin"_s,
                                       u"huge.img: too large to be a BIOS file"_s, u"linked.img: not a regular file"_s,
                                       u"pipe.bin: not a regular file"_s}));

        // Placed through a linked BIOS folder (the user moved it); a link planted inside it under
        // a BIOS name is replaced, never written through.
        const QString moved = m_home.path(u"Disk/BIOS"_s);
        QVERIFY(QDir().mkpath(moved) && QDir().mkpath(library(u"Application Support/OpenEmu"_s)));
        QVERIFY(QFile::link(moved, library(u"Application Support/OpenEmu/BIOS"_s)));
        QVERIFY(QFile::link(m_home.path(u"outside/lynx.img"_s), moved + u"/dc_boot.bin"_s));
        QCOMPARE(BiosImport::whatIsThere(u"dc_boot.bin"_s, known), BiosImport::There::other);
        // What an import killed mid-write left goes first.
        TestFiles::write(moved + u"/.vantor-bios-0123"_s, "half a file");
        const QStringList outside = snapshot(m_home.path(u"outside"_s));
        BiosImport::place(found.matches);
        QCOMPARE(snapshot(m_home.path(u"outside"_s)), outside);
        QCOMPARE(QDir(moved).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{u"dc_boot.bin"_s, u"lynxboot.img"_s, u"scph5501.bin"_s}));
        QCOMPARE(TestFiles::read(moved + u"/dc_boot.bin"_s), "dreamcast");
        QCOMPARE(BiosImport::whatIsThere(u"dc_boot.bin"_s, known), BiosImport::There::known);
    }

    // A zip read as a stream (no directory: sizes only after the data) can only be passed over by
    // unpacking it: what that unpacks counts against the import's budget, so six 1 GiB entries stop
    // at the budget, said once.
    void biosImportOfStreamedZips()
    {
        const QString in = m_home.path(u"Downloads"_s);
        ZipWriter zip;
        for (int i = 0; i < 6; ++i)
            zip.addFile(i % 2 ? u"disc%1.iso"_s.arg(i) : u".hidden%1"_s.arg(i), {},
                        {.streamedZeros = Q_INT64_C(1) << 30});
        zip.leaveOutDirectory();
        QVERIFY(QDir().mkpath(in) && zip.write(in + u"/big.zip"_s));
        const BiosImport::Gathered found = BiosImport::gather({in}, {});
        QStringList reasons;
        for (const BiosImport::Skipped &one : found.skipped)
            reasons.append(one.reason);
        QVERIFY2(reasons.count(u"the import reads %1 at most; the rest were not looked at"_s.arg(
                     ByteCount::fileStyle(BiosImport::maxReadBytes)))
                     == 1,
                 qPrintable(reasons.join(u'\n')));

        // A folder that can't be listed is named like a file that can't be read.
        if (::geteuid() == 0)
            QSKIP("root lists every folder: no folder here can't be read");
        QVERIFY(QDir().mkpath(in + u"/locked"_s));
        QFile::setPermissions(in + u"/locked"_s, QFileDevice::Permissions());
        const BiosImport::Gathered locked = BiosImport::gather({in + u"/locked"_s}, {});
        QFile::setPermissions(in + u"/locked"_s,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(locked.skipped.size() == 1 && locked.skipped.first().reason == u"can't be read"_s);
    }

    // The import as the user runs it: a file Vantor doesn't recognise is replaced only when they
    // say so, and then it is in the Trash; a good dump already there is never touched.
    void biosImportFlow()
    {
        const QString bios = library(u"Application Support/OpenEmu/BIOS/"_s);
        TestFiles::write(bios + u"lynxboot.img"_s, "my own lynx file");
        const QString in = m_home.path(u"Downloads"_s);
        // The known dumps come from the installed cores' own lists (real dumps can't be shipped).
        const auto md5 = [](const QByteArray &bytes) {
            return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        };
        const QVariantList files{QVariantMap{{u"Name"_s, u"lynxboot.img"_s}, {u"MD5"_s, md5("lynx")}},
                                 QVariantMap{{u"Name"_s, u"5200.rom"_s}, {u"MD5"_s, md5("atari")}}};
        Bundles::write(library(u"Application Support/OpenEmu/Cores"_s), u"Handy.oecoreplugin"_s,
                       {.identifier = u"org.openemu.Handy"_s,
                        .more = {{u"OEGameCoreOptions"_s, QVariantMap{{u"openemu.system.lynx"_s,
                                                                       QVariantMap{{u"OERequiredFiles"_s, files}}}}}}});
        TestFiles::write(in + u"/Lynx Boot.img"_s, "lynx");
        TestFiles::write(in + u"/atari 5200.bin"_s, "atari");
        TestFiles::write(in + u"/notes.txt"_s, "notes");
        AppModel model(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);

        m_prompter.answers = {1}; // Keep
        QCOMPARE(await(model.importBios(QStringList{in})), Outcome::done);
        QCOMPARE(m_prompter.asked.last().id, Prompter::AlertId::replaceBios);
        QCOMPARE(m_prompter.asked.last().defaultButton, 1);
        QCOMPARE(*model.notice(), u"Added 1 BIOS file: 5200.rom. 1 file wasn't recognized. Skipped: lynxboot.img "
                                  u"(kept the file already there)."_s);
        QCOMPARE(TestFiles::read(bios + u"lynxboot.img"_s), "my own lynx file");

        m_prompter.answers = {0}; // Replace: the old one goes to the Trash
        QCOMPARE(await(model.importBios(QStringList{in})), Outcome::done);
        QCOMPARE(*model.notice(), u"Added 1 BIOS file: lynxboot.img. 1 file wasn't recognized. Already there: "
                                  u"5200.rom."_s);
        QCOMPARE(TestFiles::read(bios + u"lynxboot.img"_s), "lynx");
        QCOMPARE(trashed(), QStringList{u"lynxboot.img"_s});
        QCOMPARE(m_prompter.asked.size(), 2);
        QCOMPARE(model.biosHashes().value(u"lynxboot.img"_s), md5("lynx")); // the guide sees it at once
    }

    void backupAndRestoreFlows()
    {
        seedData();
        const QString told = standInDefaults();
        AppModel model(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
        await(model.refreshBackupItems());
        model.setBackupItemIncluded(u"library"_s, false);

        // Where backups go: ~/Documents/OpenEmu Backups until another folder is chosen, then that
        // one, remembered; a cancelled panel changes nothing.
        const QString documents = m_home.path(u"Documents/OpenEmu Backups"_s);
        QCOMPARE(model.backupFolder(), documents);
        QCOMPARE(await(model.chooseBackupFolder()), Outcome::declined);
        QCOMPARE(model.backupFolder(), documents);
        m_prompter.folderAnswer = out();
        QCOMPARE(await(model.chooseBackupFolder()), Outcome::done);
        QCOMPARE(AppModel(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace).backupFolder(), out());
        QVERIFY(QDir(out()).isEmpty() && !model.notice() && !model.error());

        // No question at all: a backup changes nothing of the user's.
        QList<QString> busy;
        connect(&model, &AppModel::busyMessageChanged, this,
                [&] { busy.append(model.busyMessage().value_or(u"-"_s)); });
        m_prompter.asked.clear();
        QCOMPARE(await(model.runBackup()), Outcome::done);
        QVERIFY(m_prompter.asked.isEmpty());
        const QStringList zips = QDir(out()).entryList(QDir::Files);
        QCOMPARE(zips.size(), 1);
        const QString zip = out() + QLatin1Char('/') + zips.first();
        QCOMPARE(model.notice(), u"Backup saved: "_s + zip);
        QCOMPARE(model.noticeFile(), zip); // the banner's Show in Finder
        QVERIFY(m_workspace.revealed.isEmpty());
        QCOMPARE(busy, (QList<QString>{u"Creating backup…"_s, u"-"_s}));
        // The page lists it among the backups in that folder.
        await(model.refreshBackupItems());
        QCOMPARE(model.earlierBackups().size(), 1);
        QCOMPARE(model.earlierBackups().first().path, zip);
        QVERIFY(!zipNames(zip).join(QLatin1Char('\n')).contains(u"Game Library"_s));

        // Restore: the saved state comes back, and the question counts what it replaces.
        const QString state = states(u"SNES/game.oesavestate"_s);
        TestFiles::write(state, "lost progress");
        QVERIFY(TestFiles::touch(state, QDateTime::currentDateTime().addSecs(60)));
        TestFiles::write(states(u"SNES/new.oesavestate"_s), "made after the backup");
        m_prompter.picks = {{0, {zip}}}; // the one in the backup folder, from the list
        m_prompter.answers = {0};
        QCOMPARE(await(model.runRestore()), Outcome::done);
        QCOMPARE(m_prompter.asked.last().buttons.value(m_prompter.asked.last().defaultButton), u"Cancel"_s);
        QVERIFY2(m_prompter.asked.last().informative.contains(u"It replaces 3 files there (1 of them changed after"_s),
                 qPrintable(m_prompter.asked.last().informative));
        QCOMPARE(TestFiles::read(state), QByteArray("state one"));
        QCOMPARE(model.noticeAction(), AppModel::NoticeAction::undoRestore);
        const QString undo = model.noticeFile().value_or(QString());
        QVERIFY(BackupManager::isBeforeRestore(undo) && BackupManager::lastBeforeRestore() == undo);

        // Undone: what the restore replaced is back, what it never touched is untouched.
        m_prompter.answers = {0};
        QCOMPARE(await(model.undoRestore()), Outcome::done);
        QCOMPARE(TestFiles::read(state), QByteArray("lost progress"));
        QCOMPARE(TestFiles::read(states(u"SNES/new.oesavestate"_s)), QByteArray("made after the backup"));
        QVERIFY(m_prompter.asked.last().informative.contains(QFileInfo(undo).fileName()));
        // Redone, to go on with the restored state.
        m_prompter.answers = {0};
        QCOMPARE(await(model.runRestore(zip)), Outcome::done);
        QCOMPARE(TestFiles::read(state), QByteArray("state one"));
        // The preferences service was asked for the settings before the backup and before the
        // copy of what the restore replaced, each time into a file of Vantor's own (never onto
        // the live file behind its back), and told of the restored file after (three times: the
        // restore, its undo, and the restore again).
        const QString settings = library(u"Preferences/org.openemu.OpenEmu.plist"_s);
        QStringList calls = QString::fromUtf8(TestFiles::read(told)).split(u'\n', Qt::SkipEmptyParts);
        for (QString &call : calls) {
            const QString file = call.section(u' ', 2);
            if (call.startsWith(u"export "_s)) {
                QVERIFY2(file != settings && file.endsWith(u"/org.openemu.OpenEmu.plist"_s), qPrintable(call));
                call = u"export"_s;
            } else {
                QCOMPARE(file, settings);
                call = call.section(u' ', 0, 0);
            }
        }
        QCOMPARE(calls, (QStringList{u"export"_s, u"export"_s, u"import"_s, u"export"_s, u"import"_s, u"export"_s,
                                     u"import"_s}));

        // The question says what this zip holds (no library: it was left out) and when it was made.
        const QString told1 = m_prompter.asked.last().informative;
        QVERIFY2(told1.startsWith(QFileInfo(zip).fileName() + u", made "_s) && told1.contains(u"• Save states ("_s)
                     && told1.contains(u"• Settings ("_s) && !told1.contains(u"library"_s),
                 qPrintable(told1));

        // Every backup Vantor knows is offered in one list, newest first: the automatic ones
        // and those in the backup folder, each with its size and contents; the newest is chosen.
        const std::optional<QString> automatic = BackupManager::createAutomatic().zip;
        QVERIFY(automatic);
        // A damaged one among them is left out, and the others are still offered.
        const QString damaged = TestFiles::write(
            Paths::automaticBackupsFolder() + u"/OpenEmu-Backup-2020-01-01_00-00-00.zip"_s, "no zip");
        m_prompter.asked.clear();
        m_prompter.picks = {{0, {*automatic}}};
        m_prompter.answers = {1}; // Cancel at the question
        QCOMPARE(await(model.runRestore()), Outcome::declined);
        const Prompter::List which = m_prompter.lists.last();
        QCOMPARE(which.id, Prompter::ListId::restoreChoice);
        QCOMPARE(which.buttons, (QStringList{u"Restore"_s, u"Choose a File…"_s, u"Cancel"_s}));
        QCOMPARE(which.rows.size(), 4 + 1); // the update's, three before restores, and the one in the folder
        QCOMPARE(which.rows.first().id, *automatic);
        QVERIFY(which.rows.first().checked && which.rows.first().title.startsWith(u"Before an update, "_s));
        QVERIFY(which.rows.first().detail.endsWith(u" · Save states"_s));
        QCOMPARE(std::count_if(which.rows.begin(), which.rows.end(),
                               [](const Prompter::Row &row) { return row.title.startsWith(u"Before a restore, "_s); }),
                 3);
        QVERIFY(std::any_of(which.rows.begin(), which.rows.end(), [&](const Prompter::Row &row) {
            return row.id == zip && row.title.startsWith(u"Backup, "_s) && row.detail.contains(u"Settings"_s);
        }));
        QVERIFY(QFile::remove(damaged));
        const QString told2 = m_prompter.asked.value(0).informative;
        QVERIFY2(told2.startsWith(QFileInfo(*automatic).fileName()) && !told2.contains(u"Settings"_s),
                 qPrintable(told2));
        // Updates keep only their three newest; what a restore replaced stays whatever they make.
        for (int more = 0; more < 3; ++more)
            QVERIFY(BackupManager::createAutomatic().zip);
        QVERIFY(QFileInfo::exists(undo));
        QCOMPARE(BackupManager::automaticBackups().size(), 3 + 3);
        QVERIFY(QDir(QFileInfo(*automatic).path()).removeRecursively());

        // A missing zip and a hostile one are judged before anything is asked.
        for (const QString &bad : {out() + u"/missing.zip"_s, out() + u"/hostile.zip"_s}) {
            ZipWriter hostile;
            hostile.addLink(u"Application Support/OpenEmu/x"_s, u"/"_s);
            QVERIFY(hostile.write(out() + u"/hostile.zip"_s));
            m_prompter.fileAnswer = bad;
            m_prompter.asked.clear();
            m_prompter.picks = {{1, {}}}; // Choose a File…
            QCOMPARE(await(model.runRestore()), Outcome::failed);
            QVERIFY(m_prompter.asked.isEmpty());
            QCOMPARE(model.error()->message,
                     bad.endsWith(u"missing.zip"_s)
                         ? u"Vantor can't read that zip."_s
                         : u"That zip doesn't look like a backup made by Vantor, so it was not restored."_s);
            QVERIFY(!QFileInfo::exists(library(u"Application Support/OpenEmu/x"_s)));
            QVERIFY(!model.busyMessage());
        }
    }

    // Undo Restore looks for the copy to restore before it begins the change: a model destroyed
    // while it looks is left alone (ASan sees a use of the destroyed model otherwise).
    void undoRestoreOutlivedByItsModel()
    {
        for (int i = 0; i < 5; ++i) {
            auto model = std::make_unique<AppModel>(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
            QCoro::Task<Outcome> undoing = model->undoRestore();
            model.reset();
            const Outcome outcome = await(std::move(undoing));
            // failed: it found there was nothing to undo before the model went
            QVERIFY(outcome == Outcome::cancelled || outcome == Outcome::failed);
        }
    }

    void uninstallFlows()
    {
#ifdef Q_OS_MACOS
        QSKIP("the freedesktop Trash and its .trashinfo are Linux's; the Mac's test Trash is the home's .Trash");
#endif
        const QString told = standInDefaults();
        const QString apps = m_home.userApplications();
        Bundles::write(apps, u"OpenEmu.app"_s);
        AppModel model(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
        model.refreshInstalled();

        // The checklist closed: nothing moves.
        QCOMPARE(await(model.uninstall()), Outcome::declined);
        QVERIFY(QFileInfo::exists(apps + u"/OpenEmu.app"_s));

        // One checklist: the app and each part of the data with its size; only the app and the
        // caches ticked, Vantor's own backups marked as the user's safety copies; Return keeps all.
        seedData();
        const QString support = library(u"Application Support/OpenEmu/"_s);
        TestFiles::write(library(u"Caches/org.openemu.OpenEmu/cache.db"_s), "cache");
        TestFiles::write(support + u"Mupen64Plus/Battery Saves/mario.eep"_s, "save");
        TestFiles::write(support + u"Mupen64Plus/core.cfg"_s, "core settings");
        TestFiles::write(support + u"BIOS/scph5501.bin"_s, "bios");
        TestFiles::write(Paths::automaticBackupsFolder() + u"/OpenEmu-Backup-2026-12-06_21-07-45.zip"_s, "zip");
        m_prompter.picks = {{1, {u"app"_s}}};
        QCOMPARE(await(model.uninstall()), Outcome::declined);
        const Prompter::List list = m_prompter.lists.last();
        QStringList rows;
        for (const Prompter::Row &row : list.rows)
            rows.append(row.id + (row.checked ? u"+"_s : QString()));
        QCOMPARE(rows, (QStringList{u"app+"_s, u"caches+"_s, u"states"_s, u"battery"_s, u"bios"_s, u"library"_s,
                                    u"prefs"_s, u"other"_s, u"autobackups"_s}));
        QVERIFY(list.rows.last().detail.endsWith(u" · your safety copies"_s));
        QCOMPARE(list.buttons.value(list.defaultButton), u"Cancel"_s);
        QVERIFY(QFileInfo::exists(apps + u"/OpenEmu.app"_s));

        // What is ticked goes, and only that: the battery saves leave their core's folder, whose
        // own files stay with the rest of OpenEmu's.
        m_prompter.picks = {{0, {u"app"_s, u"caches"_s, u"battery"_s}}};
        QCOMPARE(await(model.uninstall()), Outcome::done);
        QCOMPARE(model.notice(), u"Moved to the Trash: OpenEmu-Silicon, caches, battery saves."_s);
        QVERIFY(!model.installed() && !QFileInfo::exists(library(u"Caches/org.openemu.OpenEmu"_s)));
        QVERIFY(!QFileInfo::exists(support + u"Mupen64Plus/Battery Saves"_s));
        for (const QString &stays : {support + u"Mupen64Plus/core.cfg"_s, support + u"BIOS/scph5501.bin"_s,
                                     states(u"SNES/game.oesavestate"_s), Paths::automaticBackupsFolder()})
            QVERIFY2(QFileInfo::exists(stays), qPrintable(stays));
        QVERIFY(trashed().contains(u"Battery Saves"_s));

        // Named up front (the command line's --with-data): one question listing exactly what
        // moves, Return keeping everything; Vantor's own backups are not among them.
        model.setError(std::nullopt);
        Bundles::write(apps, u"OpenEmu.app"_s);
        Bundles::write(Paths::previousVersionsFolder(), u"OpenEmu 1.0.2.app"_s);
        model.refreshInstalled();
        m_prompter.asked.clear();
        m_prompter.answers = {0};
        QStringList all = UninstallItems::ids();
        all.removeAll(u"autobackups"_s);
        QCOMPARE(await(model.uninstall(all)), Outcome::done);
        const Prompter::Alert asked = m_prompter.asked.value(0);
        QVERIFY(m_prompter.asked.size() == 1 && asked.informative.contains(u"• "_s + support + u"Mupen64Plus ("_s));
        QCOMPARE(asked.message, u"Move these to the Trash?"_s);
        QCOMPARE(asked.buttons.value(asked.defaultButton), u"Cancel"_s);
        QVERIFY(!model.installed() && !model.hasPrevious());
        QVERIFY(!QFileInfo::exists(states(u"SNES/game.oesavestate"_s))
                && QFileInfo::exists(Paths::automaticBackupsFolder()));
        // The settings went, and the preferences service was told (it would write them back).
        QCOMPARE(TestFiles::read(told), QByteArray("delete org.openemu.OpenEmu\n"));
        await(model.refreshTidy());
        QCOMPARE(model.tidyRows().first().id, u"data"_s);

        // The app gone, what it left can go row by row: after a question whose default keeps it.
        TestFiles::write(library(u"Caches/org.openemu.OpenEmu/cache.db"_s), "cache");
        await(model.refreshTidy());
        m_prompter.asked.clear();
        m_prompter.answers = {1};
        QCOMPARE(await(model.trashLeftover(u"caches"_s)), Outcome::declined);
        QCOMPARE(m_prompter.asked.first().buttons.value(m_prompter.asked.first().defaultButton), u"Cancel"_s);
        QVERIFY(QFileInfo::exists(library(u"Caches/org.openemu.OpenEmu"_s)));
        m_prompter.answers = {0};
        QCOMPARE(await(model.trashLeftover(u"caches"_s)), Outcome::done);
        QVERIFY(!QFileInfo::exists(library(u"Caches/org.openemu.OpenEmu"_s)));
        QVERIFY(trashed().contains(u"org.openemu.OpenEmu"_s));
        // With the app there, the caches can still go, OpenEmu's data not: that is for Uninstall.
        TestFiles::write(library(u"Caches/org.openemu.OpenEmu/cache.db"_s), "cache");
        seedData();
        Bundles::write(apps, u"OpenEmu.app"_s);
        model.refreshInstalled();
        await(model.refreshTidy());
        m_prompter.asked.clear();
        QCOMPARE(await(model.trashLeftover(u"data"_s)), Outcome::declined);
        QVERIFY(m_prompter.asked.isEmpty());
        m_prompter.answers = {0};
        QCOMPARE(await(model.trashLeftover(u"caches"_s)), Outcome::done);
        QVERIFY(!QFileInfo::exists(library(u"Caches/org.openemu.OpenEmu"_s)) && model.installed());
    }

    // A damaged zip is its own kind of failure, which the backup's read-back check turns into
    // "could not be verified" without reading the sentence.
    void damagedZipsAreTheirOwnFailure()
    {
        ZipWriter writer;
        writer.addFile(u"Application Support/OpenEmu/Save States/a.oesavestate"_s, QByteArray(4096, 's'));
        QVERIFY(writer.write(out() + u"/whole.zip"_s));
        TestFiles::write(out() + u"/cut.zip"_s, TestFiles::read(out() + u"/whole.zip"_s).left(2048));
        TestFiles::write(out() + u"/noise.zip"_s, QByteArray(4096, 'z'));
        for (const QString &name : {u"/cut.zip"_s, u"/noise.zip"_s, u"/missing.zip"_s})
            QVERIFY2(thrown<UnreadableZip>([&] { BackupArchive::readBack(out() + name); }), qPrintable(name));
    }

    void trashIsMadeWhenMissing()
    {
#ifdef Q_OS_MACOS
        QSKIP("the freedesktop Trash and its .trashinfo are Linux's; the Mac's test Trash is the home's .Trash");
#endif
        // No data folder yet, and the process working in some other folder: the home trash is made,
        // private to its user, and the item goes there with its .trashinfo.
        const QString data = qEnvironmentVariable("XDG_DATA_HOME");
        QVERIFY(QDir(data).removeRecursively());
        TestFiles::write(library(u"Preferences/org.openemu.OpenEmu.plist"_s), "settings");
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(out()));
        auto back = qScopeGuard([&] { QDir::setCurrent(previous); });
        FileOps::moveToTrash(library(u"Preferences/org.openemu.OpenEmu.plist"_s));
        QCOMPARE(trashed(), QStringList{u"org.openemu.OpenEmu.plist"_s});
        QVERIFY(QFileInfo::exists(data + u"/Trash/info/org.openemu.OpenEmu.plist.trashinfo"_s));
        QCOMPARE(QFileInfo(data + u"/Trash"_s).permissions() & 0x0077, QFileDevice::Permissions());
        QVERIFY(QDir(out()).isEmpty());
    }

private:
    QString library(const QString &relative) const
    {
        return m_home.path(u"Library/"_s + relative);
    }
    QString states(const QString &name) const
    {
        return library(u"Application Support/OpenEmu/Save States/"_s + name);
    }
    QString out() const
    {
        return m_home.path(u"out"_s);
    }
    void seedData()
    {
        TestFiles::write(states(u"SNES/game.oesavestate"_s), "state one");
        TestFiles::write(states(u".hidden"_s), "hidden");
        TestFiles::write(library(u"Application Support/OpenEmu/Game Library/Library.storedata"_s), "library db");
        TestFiles::write(library(u"Preferences/org.openemu.OpenEmu.plist"_s), "settings");
    }

    // A stand-in for the preferences tool that notes each call: the file it writes to.
    QString standInDefaults()
    {
        const QString tool = m_home.path(u"tools/defaults"_s), told = m_home.path(u"tools/told"_s);
        // Reading the settings ("export DOMAIN -") is not telling the service anything.
        TestFiles::write(
            tool, "#!/bin/sh\ncase \"$*\" in *\" -\") exit 0 ;; esac\necho \"$*\" >> \"$(dirname \"$0\")/told\"\n");
        QFile::setPermissions(tool, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("VANTOR_DEFAULTS_TOOL", tool.toUtf8());
        return told;
    }

    // The items with only those ids chosen.
    static QList<BackupItem> only(QList<BackupItem> items, const QStringList &ids)
    {
        for (BackupItem &item : items)
            item.include = item.exists && ids.contains(item.id);
        return items;
    }

    // What the tests' Trash holds: the freedesktop one under XDG_DATA_HOME on Linux, the home's
    // own .Trash on the Mac (a test process never reaches the Finder's).
    QStringList trashed() const
    {
#ifdef Q_OS_MACOS
        const QString trash = QDir::home().filePath(u".Trash"_s);
#else
        const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + u"/Trash/files"_s;
#endif
        return QDir(trash).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    TestHome &m_home = TestHome::shared();
    ScriptedPrompter m_prompter;
    RecordingWorkspace m_workspace;
};

QTEST_MAIN(DataCareTest)
#include "tst_datacare.moc"
