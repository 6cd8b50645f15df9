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
        map.insert(name, u"/somewhere/BIOS/"_s + name);
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

    // A row is there by its files' exact names; its mark takes the worst of an all-of row's
    // files and the best of an any-of row's.
    void rowRules()
    {
        const BIOSEntry &playStation = row(u"PlayStation"_s);
        QVERIFY(!GuideChecklist::isSatisfied(playStation, found({u"SCPH5501.BIN"_s})));
        QVERIFY(GuideChecklist::isSatisfied(playStation, found({u"scph5501.bin"_s})));
        const BIOSEntry &dreamcast = row(u"Sega Dreamcast"_s);
        QVERIFY(!GuideChecklist::isSatisfied(dreamcast, found({u"dc_boot.bin"_s})));
        QVERIFY(GuideChecklist::isSatisfied(dreamcast, found({u"dc_boot.bin"_s, u"dc_flash.bin"_s})));
        QVERIFY(GuideChecklist::isSatisfied(row(u"SNES (3 special games only)"_s), found({u"st011.rom"_s})));
        using S = BiosCheck::State;
        auto mark = [](const BIOSEntry &entry, const QList<S> &states) {
            QList<BiosCheck> checks;
            for (const S state : states)
                checks.append({{}, state, {}, {}});
            return GuideChecklist::readinessName(GuideChecklist::readiness(entry, checks));
        };
        QCOMPARE(mark(playStation, {S::missing, S::unrecognised, S::verified}), u"ready"_s);
        QCOMPARE(mark(playStation, {S::missing, S::unrecognised, S::bad}), u"warning"_s);
        QCOMPARE(mark(playStation, {S::missing, S::missing, S::missing}), u"missing"_s);
        QCOMPARE(mark(dreamcast, {S::unrecognised, S::present}), u"warning"_s);
        QCOMPARE(mark(dreamcast, {S::verified, S::missing}), u"missing"_s);
        QCOMPARE(mark(dreamcast, {S::verified, S::present}), u"ready"_s);
    }

    void scanSkipsHiddenAndDataFolders()
    {
        TestFiles::write(support(u"BIOS/scph5501.bin"_s));
        TestFiles::write(support(u"Flycast/deep/er/dc_boot.bin"_s));
        TestFiles::write(support(u".hidden.bin"_s));
        TestFiles::write(support(u".cache/panafz10.bin"_s));
        TestFiles::write(support(u"Game Library/5200.rom"_s));
        TestFiles::write(support(u"Mednafen/Save States/lynxboot.img"_s));
        TestFiles::write(support(u"Other/Game Library/disksys.rom"_s));
        TestFiles::write(support(u"a/o2rom.bin"_s));
        TestFiles::write(support(u"b/o2rom.bin"_s));
        const GuideChecklist::FoundFiles map = GuideChecklist::scanFileNames();
        QCOMPARE(map.keys(), (QStringList{u"dc_boot.bin"_s, u"o2rom.bin"_s, u"scph5501.bin"_s}));
        QCOMPARE(map.value(u"scph5501.bin"_s), support(u"BIOS/scph5501.bin"_s));

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
        const GuideChecklist::FoundFiles some = GuideChecklist::scanFileNames();
        QCOMPARE(some.size(), GuideChecklist::maxEntries - 1); // the folder counts too
    }

    void folderForARow()
    {
        const BIOSEntry &dreamcast = row(u"Sega Dreamcast"_s);
        QCOMPARE(GuideChecklist::folder(dreamcast, {}), m_home.path(u"Library/Application Support"_s));
        QDir().mkpath(support(QString()));
        QCOMPARE(GuideChecklist::folder(dreamcast, {}), support(QString()).chopped(1));
        QDir().mkpath(support(u"Flycast"_s));
        QCOMPARE(GuideChecklist::folder(dreamcast, {}), support(u"Flycast"_s));
        QCOMPARE(GuideChecklist::folder(row(u"3DO"_s), {}), support(QString()).chopped(1));
        QCOMPARE(GuideChecklist::folder(dreamcast, found({u"dc_flash.bin"_s})), u"/somewhere/BIOS"_s);
    }

    void stepTexts()
    {
        QList<GuideStep> steps = GuideChecklist::steps(false, std::nullopt, {}, 0);
        QCOMPARE(steps.size(), 4);
        for (const GuideStep &step : steps)
            QVERIFY(!step.done);

        steps = GuideChecklist::steps(true, u"/Games"_s, found({u"st018.rom"_s}), 1);
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

    void biosJudgedByContents()
    {
        // Real BIOS files cannot be shipped: the test's table is made from its own files.
        auto write = [this](const QString &name, const QByteArray &bytes) {
            TestFiles::write(support(u"BIOS/"_s + name), bytes);
        };
        write(u"scph5501.bin"_s, "some other dump");
        write(u"scph5502.bin"_s, "the good dump");
        write(u"syscard3.pce"_s, QByteArray(512, 'h') + "the card");
        write(u"dc_flash.bin"_s, "settings the console wrote");
        const GuideChecklist::FoundFiles found = GuideChecklist::scanFileNames();
        const GuideChecklist::FileHashes hashes = GuideChecklist::hashFiles(found);
        QVERIFY(!hashes.contains(u"dc_flash.bin"_s)); // never judged by its contents
        const auto md5 = [](const QByteArray &bytes) {
            return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        };
        const QList<KnownDump> table{
            {u"scph5502.bin"_s, md5("the good dump"), false, {}},
            {u"syscard3.pce"_s, md5(QByteArray(512, 'h') + "the card"), true, u"remove the header"_s},
        };
        QMap<QString, BiosCheck::State> states;
        for (const BIOSEntry &entry : ProjectDocs::biosTable()) {
            for (const BiosCheck &check : GuideChecklist::checks(entry, found, hashes, table))
                states.insert(check.file, check.state);
        }
        QCOMPARE(states.value(u"scph5501.bin"_s), BiosCheck::State::unrecognised);
        QCOMPARE(states.value(u"scph5502.bin"_s), BiosCheck::State::verified);
        QCOMPARE(states.value(u"syscard3.pce"_s), BiosCheck::State::bad);
        QCOMPARE(states.value(u"dc_flash.bin"_s), BiosCheck::State::present);
        QCOMPARE(states.value(u"scph5500.bin"_s), BiosCheck::State::missing);
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
        QCOMPARE(checks.size(), 2);
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
