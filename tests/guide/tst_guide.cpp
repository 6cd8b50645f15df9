#include "Await.h"
#include "Bundles.h"
#include "FakeDesk.h"
#include "TestFiles.h"
#include "TestHome.h"

#include "app/AppModel.h"
#include "datacare/Cores.h"
#include "guide/ControllerMonitor.h"
#include "guide/GuideChecklist.h"
#include "guide/ProjectDocs.h"

#include <QCryptographicHash>
#include <QtTest>

#include <sys/stat.h>

#include <SDL.h>

using namespace Qt::StringLiterals;

using TestSupport::await;

namespace {

const BIOSEntry &row(const QString &system)
{
    for (const BIOSEntry &entry : ProjectDocs::biosTable()) {
        if (entry.system == system)
            return entry;
    }
    qFatal("no BIOS row %s", qPrintable(system));
}

GuideChecklist::FoundFiles found(const QStringList &names)
{
    GuideChecklist::FoundFiles map;
    for (const QString &name : names)
        map.insert(name.toLower(), u"/somewhere/BIOS/"_s + name);
    return map;
}

} // namespace

class GuideTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home.reset();
        m_prompter = ScriptedPrompter();
    }

    // OpenEmu's rule, one row per case: every file its cores can't do without, in the BIOS folder
    // only, found whatever its case; optional files never hold a row back.
    void biosAsOpenEmuJudges_data()
    {
        QTest::addColumn<QString>("system");
        QTest::addColumn<QStringList>("files"); // "name=contents" below OpenEmu's support folder
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("marks"); // each file's state, in the row's order
        QTest::newRow("one of three") << u"PlayStation"_s << QStringList{u"BIOS/scph5501.bin=us"_s} << u"missing"_s
                                      << u"missing verified missing"_s;
        QTest::newRow("all three") << u"PlayStation"_s
                                   << QStringList{u"BIOS/scph5500.bin=jp"_s, u"BIOS/scph5501.bin=us"_s,
                                                  u"BIOS/scph5502.bin=eu"_s}
                                   << u"ready"_s << u"verified verified verified"_s;
        QTest::newRow("a name in another case")
            << u"Sega Saturn"_s << QStringList{u"BIOS/SEGA_101.BIN=saturn jp"_s, u"BIOS/mpr-17933.bin=saturn us"_s}
            << u"ready"_s << u"verified verified"_s;
        QTest::newRow("in a core's folder")
            << u"Sega Dreamcast"_s << QStringList{u"Flycast/dc_boot.bin=boot"_s, u"BIOS/dc_flash.bin=flash b"_s}
            << u"missing"_s << u"missing verified"_s;
        QTest::newRow("in battery saves")
            << u"Atari Lynx"_s << QStringList{u"Mednafen/Battery Saves/lynxboot.img=lynx"_s} << u"missing"_s
            << u"missing"_s;
        QTest::newRow("another dump") << u"3DO"_s << QStringList{u"BIOS/panafz10.bin=someone's dump"_s} << u"warning"_s
                                      << u"unrecognized"_s;
        QTest::newRow("a second accepted dump")
            << u"Sega Dreamcast"_s << QStringList{u"BIOS/dc_boot.bin=boot"_s, u"BIOS/dc_flash.bin=flash c"_s}
            << u"ready"_s << u"verified verified"_s;
        QTest::newRow("optional ones missing")
            << u"Intellivision"_s << QStringList{u"BIOS/exec.bin=exec"_s, u"BIOS/grom.bin=grom"_s} << u"ready"_s
            << u"verified verified missing missing"_s;
        QTest::newRow("only optional, none there")
            << u"Pokémon mini"_s << QStringList{} << u"missing"_s << u"missing"_s;
        QTest::newRow("only optional, one there")
            << u"SNES (a few special games only)"_s << QStringList{u"BIOS/st018.rom=st018"_s} << u"ready"_s
            << u"missing missing missing missing verified"_s;
        QTest::newRow("a system the old table missed")
            << u"Atari 8-bit"_s << QStringList{u"BIOS/ataribas.rom=basic"_s, u"BIOS/atariosb.rom=osb"_s} << u"missing"_s
            << u"verified verified missing"_s;
    }

    void biosAsOpenEmuJudges()
    {
        QFETCH(QString, system);
        QFETCH(QStringList, files);
        QFETCH(QString, state);
        QFETCH(QString, marks);
        const auto md5 = [](const QByteArray &bytes) {
            return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        };
        // Real dumps can't be shipped: the known dumps are this test's, named as the cores list them,
        // dc_flash.bin with three accepted dumps.
        QList<KnownDump> known;
        for (const auto &[name, contents] :
             std::initializer_list<std::pair<QString, QByteArray>>{{u"scph5500.bin"_s, "jp"},
                                                                   {u"scph5501.bin"_s, "us"},
                                                                   {u"scph5502.bin"_s, "eu"},
                                                                   {u"sega_101.bin"_s, "saturn jp"},
                                                                   {u"mpr-17933.bin"_s, "saturn us"},
                                                                   {u"dc_boot.bin"_s, "boot"},
                                                                   {u"dc_flash.bin"_s, "flash a"},
                                                                   {u"dc_flash.bin"_s, "flash b"},
                                                                   {u"dc_flash.bin"_s, "flash c"},
                                                                   {u"lynxboot.img"_s, "lynx"},
                                                                   {u"panafz10.bin"_s, "3do"},
                                                                   {u"exec.bin"_s, "exec"},
                                                                   {u"grom.bin"_s, "grom"},
                                                                   {u"st018.rom"_s, "st018"},
                                                                   {u"ataribas.rom"_s, "basic"},
                                                                   {u"atariosb.rom"_s, "osb"}})
            known.append({name, md5(contents), false, {}});
        for (const QString &file : files)
            TestFiles::write(support(file.section(u'=', 0, 0)), file.section(u'=', 1).toUtf8());

        const BIOSEntry &entry = row(system);
        const GuideChecklist::FoundFiles found = GuideChecklist::scanFileNames();
        const GuideChecklist::FoundFiles misplaced = GuideChecklist::misplacedFiles(entry.files);
        const QList<BiosCheck> checks
            = GuideChecklist::checks(entry, found, GuideChecklist::hashFiles(found, known), known, misplaced);
        QStringList each;
        for (const BiosCheck &check : checks)
            each.append(GuideChecklist::stateName(check.state));
        QCOMPARE(each.join(u' '), marks);
        QCOMPARE(GuideChecklist::readinessName(GuideChecklist::readiness(entry, checks)), state);
        // The guide's step counts the row exactly when it isn't missing.
        QCOMPARE(GuideChecklist::isSatisfied(entry, found), state != u"missing"_s);
        // A file where OpenEmu never looks is said, with its place; the row's folder is BIOS/.
        for (const BiosCheck &check : checks) {
            const auto elsewhere = std::find_if(files.begin(), files.end(), [&](const QString &file) {
                return !file.startsWith(u"BIOS/"_s) && file.section(u'=', 0, 0).endsWith(u'/' + check.file);
            });
            QCOMPARE(check.elsewhere.has_value(), elsewhere != files.end());
            if (check.elsewhere)
                QCOMPARE(*check.elsewhere, support(elsewhere->section(u'=', 0, 0)));
        }
        QCOMPARE(GuideChecklist::folder(entry, found), support(u"BIOS"_s));
    }

    void scanLooksOnlyInTheBiosFolder()
    {
        TestFiles::write(support(u"BIOS/scph5501.bin"_s));
        TestFiles::write(support(u"BIOS/.hidden.bin"_s));
        TestFiles::write(support(u"BIOS/deeper/o2rom.bin"_s));
        TestFiles::write(support(u"Flycast/deep/er/dc_boot.bin"_s));
        TestFiles::write(support(u".cache/panafz10.bin"_s));
        TestFiles::write(support(u"Game Library/5200.rom"_s));
        TestFiles::write(support(u"Mednafen/Save States/lynxboot.img"_s));
        QCOMPARE(GuideChecklist::scanFileNames().keys(), QStringList{u"scph5501.bin"_s});
        const GuideChecklist::FoundFiles elsewhere = GuideChecklist::misplacedFiles(
            {u"dc_boot.bin"_s, u"panafz10.bin"_s, u"5200.rom"_s, u"lynxboot.img"_s, u"scph5501.bin"_s});
        QCOMPARE(elsewhere.keys(), (QStringList{u"dc_boot.bin"_s, u"lynxboot.img"_s}));

        QDir(m_home.path(u"Library"_s)).removeRecursively();
        QVERIFY(GuideChecklist::scanFileNames().isEmpty());

        // OpenEmu's folder moved to another disk and linked back, and its BIOS folder to a third:
        // both followed. A FIFO under a BIOS name is never read (nor waited on).
        TestFiles::write(m_home.path(u"Disk 2/BIOS/scph5501.bin"_s), "dump");
        QVERIFY(QDir().mkpath(m_home.path(u"Library/Application Support"_s))
                && QDir().mkpath(m_home.path(u"Disk/OpenEmu"_s))
                && QFile::link(m_home.path(u"Disk 2/BIOS"_s), m_home.path(u"Disk/OpenEmu/BIOS"_s))
                && QFile::link(m_home.path(u"Disk/OpenEmu"_s), support(QString()).chopped(1)));
        QCOMPARE(::mkfifo(QFile::encodeName(m_home.path(u"Disk/OpenEmu/BIOS/scph5502.bin"_s)), 0600), 0);
        const GuideChecklist::FoundFiles linked = GuideChecklist::scanFileNames();
        QCOMPARE(linked.value(u"scph5501.bin"_s), support(u"BIOS/scph5501.bin"_s));
        QCOMPARE(GuideChecklist::hashFiles(linked).keys(), QStringList{u"scph5501.bin"_s});
    }

    void scanLooksAtMost20000Entries()
    {
        // 20,100 entries: one folder and 20,099 files, then a BIOS file in a folder that sorts last.
        const QString bulk = support(u"bulk"_s);
        QDir().mkpath(bulk);
        for (int i = 0; i < 20'099; ++i)
            TestFiles::write(bulk + u"/f%1"_s.arg(i));
        TestFiles::write(support(u"zz/dc_boot.bin"_s));
        QVERIFY(GuideChecklist::misplacedFiles({u"dc_boot.bin"_s}).isEmpty());
    }

    void stepTexts()
    {
        QList<GuideStep> steps = GuideChecklist::steps(false, std::nullopt, {}, 0);
        QCOMPARE(steps.size(), 4);
        for (const GuideStep &step : steps)
            QVERIFY(!step.done);

        steps = GuideChecklist::steps(true, u"/Games"_s, found({u"st018.rom"_s, u"scph5501.bin"_s}), 1);
        QCOMPARE(steps[1].detail, u"/Games"_s);
        QCOMPARE(steps[2].detail, u"1 system(s) have their BIOS file(s)."_s);
        QCOMPARE(steps[3].detail, u"1 controller(s) connected."_s);
        for (const GuideStep &step : steps)
            QVERIFY(step.done);
    }

    void modelScansAndRemembersGamesFolder()
    {
        TestFiles::write(support(u"BIOS/panafz10.bin"_s));
        {
            AppModel model(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
            model.start();
            QTRY_VERIFY_WITH_TIMEOUT(!model.isSettling(), 10'000);
            QVERIFY(model.biosFound().contains(u"panafz10.bin"_s));

            model.chooseGamesFolder(); // cancelled
            QVERIFY(!model.gamesFolder());
            m_prompter.folderAnswer = u"/Volumes/Games"_s;
            model.chooseGamesFolder();
            QCOMPARE(model.gamesFolder(), u"/Volumes/Games"_s);
            m_prompter.folderAnswer.reset();
            model.chooseGamesFolder(); // cancelled again: the choice stays
            QCOMPARE(model.gamesFolder(), u"/Volumes/Games"_s);
        }
        AppModel restarted(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
        QCOMPARE(restarted.gamesFolder(), u"/Volumes/Games"_s);
    }

    void controllersComeAndGo()
    {
        ControllerMonitor monitor;
        QSignalSpy changes(&monitor, &ControllerMonitor::controllersChanged);
        const qsizetype before = monitor.controllers().size();

        const int pad = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 1);
        QVERIFY2(pad >= 0, SDL_GetError());
        QTRY_COMPARE_WITH_TIMEOUT(monitor.controllers().size(), before + 1, 5000); // the running monitor notices
        const ControllerInfo added = monitor.controllers().last();
        QCOMPARE(added.name, u"Game controller"_s); // no maker known
        QCOMPARE(added.kind, u"Virtual Controller · full gamepad"_s);

        const int stick = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_ARCADE_STICK, 0, 2, 1);
        QVERIFY2(stick >= 0, SDL_GetError());
        QTRY_COMPARE_WITH_TIMEOUT(monitor.controllers().size(), before + 2, 5000);
        // SDL has no mapping for a stick with a d-pad and two buttons.
        QCOMPARE(monitor.controllers().last().kind, u"Virtual Arcade Stick · micro gamepad"_s);

        QVERIFY(SDL_JoystickDetachVirtual(stick) == 0);
        QVERIFY(SDL_JoystickDetachVirtual(pad) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(monitor.controllers().size(), before, 5000);
        QVERIFY(changes.count() >= 3); // each plug, and the unplugs (perhaps seen together)
    }

    // The cores' own OERequiredFiles verify a dump the table doesn't know, and a file they can do
    // without never holds its system back. Entries of the wrong shape are left out.
    void biosJudgedByTheCoresOwnList()
    {
        const auto md5 = [](const QByteArray &bytes) {
            return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        };
        const QString cores = support(u"Cores"_s);
        const QVariantList files{
            QVariantMap{{u"Name"_s, u"exec.bin"_s},
                        {u"MD5"_s, md5("exec dump").toUpper()},
                        {u"Size"_s, u"8192"_s},
                        {u"Description"_s, u"Executive ROM"_s}},
            QVariantMap{{u"Name"_s, u"grom.bin"_s}, {u"MD5"_s, md5("grom")}, {u"Size"_s, 2048}, {u"Optional"_s, true}},
            QVariantMap{{u"Name"_s, u"../escape.bin"_s}, {u"MD5"_s, md5("x")}},
            QVariantMap{{u"Name"_s, u"noHash.bin"_s}, {u"MD5"_s, u"not a hash"_s}},
            u"not a dictionary"_s,
        };
        Bundles::write(
            cores, u"Bliss.oecoreplugin"_s,
            {.identifier = u"org.openemu.Bliss"_s,
             .more = {{u"OEGameCoreOptions"_s,
                       QVariantMap{{u"openemu.system.intellivision"_s, QVariantMap{{u"OERequiredFiles"_s, files}}},
                                   {u"openemu.system.other"_s, QVariantMap{{u"OERequiredFiles"_s, u"x"_s}}},
                                   {u"openemu.system.odd"_s, 3}}}}});
        Bundles::write(cores, u"Odd.oecoreplugin"_s,
                       {.identifier = u"org.openemu.Odd"_s, .more = {{u"OEGameCoreOptions"_s, u"a string"_s}}});
        const QList<Core> installed = Cores::installed(std::nullopt);
        QCOMPARE(installed.size(), 2);
        const QList<RequiredFile> listed = Cores::requiredFiles(installed);
        QCOMPARE(listed.size(), 2);
        QCOMPARE(listed[0].name, u"exec.bin"_s);
        QCOMPARE(listed[0].md5, md5("exec dump"));
        QCOMPARE(listed[0].size, 8192);
        QCOMPARE(listed[1].size, 2048);
        QVERIFY(!listed[0].optional && listed[1].optional);

        TestFiles::write(support(u"BIOS/exec.bin"_s), "exec dump");
        AppModel model(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
        await(model.refreshBIOS());
        const QList<BiosCheck> checks = GuideChecklist::checks(row(u"Intellivision"_s), model.biosFound(),
                                                               model.biosHashes(), model.knownDumps());
        QCOMPARE(checks.size(), 4);
        QCOMPARE(checks[0].state, BiosCheck::State::verified);
        QVERIFY(checks[1].optional);
        QCOMPARE(GuideChecklist::readiness(row(u"Intellivision"_s), checks), GuideChecklist::Readiness::ready);

        // Without the core: the table alone doesn't know that dump, and grom.bin is wanted.
        QVERIFY(QDir(cores).removeRecursively());
        await(model.refreshBIOS());
        const QList<BiosCheck> alone = GuideChecklist::checks(row(u"Intellivision"_s), model.biosFound(),
                                                              model.biosHashes(), model.knownDumps());
        QCOMPARE(alone[0].state, BiosCheck::State::unrecognised);
        QCOMPARE(GuideChecklist::readiness(row(u"Intellivision"_s), alone), GuideChecklist::Readiness::missing);
    }

    // Installed, the systems are the app's own system plug-ins and the cores that play each
    // (Application Support's copy winning); before, the project's table.
    void systemsFromTheInstalledApp()
    {
        AppModel model(u"http://127.0.0.1:1/feed"_s, m_prompter, m_workspace);
        await(model.refreshCores());
        QCOMPARE(model.systems().size(), ProjectDocs::systems().size());

        const QString app = Bundles::write(m_home.userApplications(), u"OpenEmu.app"_s);
        for (const auto &[plugin, identifier, name] :
             {std::tuple{u"PSX"_s, u"openemu.system.psx"_s, u"Sony PlayStation"_s},
              std::tuple{u"GB"_s, u"openemu.system.gb"_s, u"Game Boy"_s}})
            Bundles::writePreferences(app + u"/Contents/PlugIns/Systems/"_s + plugin
                                          + u".oesystemplugin/Contents/Info.plist"_s,
                                      {{u"OESystemIdentifier"_s, identifier}, {u"OESystemName"_s, name}});
        Bundles::write(app + u"/Contents/PlugIns/Cores"_s, u"Mednafen.oecoreplugin"_s,
                       {.identifier = u"org.openemu.Mednafen"_s,
                        .bundleVersion = u"1.26.0"_s,
                        .systems = {u"openemu.system.psx"_s, u"openemu.system.saturn"_s}});
        Bundles::write(support(u"Cores"_s), u"Mednafen.oecoreplugin"_s,
                       {.identifier = u"org.openemu.Mednafen"_s,
                        .bundleVersion = u"1.26.1"_s,
                        .systems = {u"openemu.system.psx"_s, u"openemu.system.saturn"_s}});
        model.refreshInstalled();
        await(model.refreshCores());
        QStringList shown;
        for (const SystemInfo &system : model.systems())
            shown.append(system.name + u": "_s + system.core + u" | "_s + system.bios.value_or(u"-"_s) + u" | "_s
                         + system.note);
        QCOMPARE(shown,
                 (QStringList{u"Game Boy: none installed | - | No installed core plays it"_s,
                              u"Sony PlayStation: Mednafen 1.26.1 | scph5500.bin, scph5501.bin, scph5502.bin | "_s}));
    }

private:
    QString support(const QString &relative) const
    {
        return m_home.path(u"Library/Application Support/OpenEmu/"_s + relative);
    }

    TestHome &m_home = TestHome::shared();
    ScriptedPrompter m_prompter;
    RecordingWorkspace m_workspace;
};

QTEST_MAIN(GuideTest)
#include "tst_guide.moc"
