#include "Await.h"
#include "FakeDesk.h"
#include "TestHome.h"

#include "app/AppModel.h"
#include "base/Paths.h"
#include "guide/ControllerMonitor.h"
#include "guide/GuideChecklist.h"
#include "guide/ProjectDocs.h"

#include <QDir>
#include <QSettings>
#include <QtTest>

#include <SDL.h>

using TestSupport::await;

namespace {

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
}

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
        map.insert(name, QStringLiteral("/somewhere/BIOS/") + name);
    return map;
}

} // namespace

class GuideTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void tables();
    void satisfiedRules();
    void scanSkipsHiddenAndDataFolders();
    void scanLooksAtMost20000Entries();
    void folderForARow();
    void stepTexts();
    void modelScansAndRemembersGamesFolder();
    void controllersComeAndGo();

private:
    QString support(const QString &relative) const
    {
        return m_home.path(QStringLiteral("Library/Application Support/OpenEmu/") + relative);
    }

    TestHome &m_home = TestHome::shared();
    ScriptedPrompter m_prompter;
    RecordingWorkspace m_workspace;
};

void GuideTest::init()
{
    m_home.reset();
    m_prompter = ScriptedPrompter();
    QSettings(QStringLiteral("Vantor"), QStringLiteral("Vantor")).clear();
}

void GuideTest::tables()
{
    const auto &systems = ProjectDocs::systems();
    QCOMPARE(systems.size(), 42);
    QCOMPARE(systems.first().name, QStringLiteral("Arcade (MAME)"));
    QCOMPARE(systems.first().bios, QStringLiteral("Some games need BIOS/parent ROMs"));
    QVERIFY(systems.first().note.isEmpty());
    QVERIFY(!systems[1].bios.has_value()); // absent, not empty
    QCOMPARE(systems[20].name.toUtf8(), QByteArray("Odyssey\xC2\xB2 / Videopac+"));
    QCOMPARE(systems[26].name.toUtf8(), QByteArray("Pok\xC3\xA9mon Mini"));
    QCOMPARE(systems[34].note, QStringLiteral("No BIOS except for 3 specific games"));
    QCOMPARE(systems.last().core, QStringLiteral("none"));
    QVERIFY(systems[0].id != systems[1].id);

    const auto &bios = ProjectDocs::biosTable();
    QCOMPARE(bios.size(), 12);
    QStringList anyOf, optional;
    for (const BIOSEntry &entry : bios) {
        QVERIFY(!entry.files.isEmpty());
        if (entry.anyOf)
            anyOf.append(entry.system);
        if (entry.optional)
            optional.append(entry.system);
    }
    QCOMPARE(anyOf, (QStringList{QStringLiteral("PlayStation"), QStringLiteral("Sega CD"),
                                 QStringLiteral("Sega Saturn"), QStringLiteral("SNES (3 special games only)")}));
    QCOMPARE(optional, QStringList{QStringLiteral("SNES (3 special games only)")});
    QCOMPARE(bios[4].system.toUtf8(), QByteArray("Odyssey\xC2\xB2 / Videopac"));
    QCOMPARE(bios[6].files.first(), QStringLiteral("BIOS_CD_J.bin"));
}

void GuideTest::satisfiedRules()
{
    const BIOSEntry &playStation = row(QStringLiteral("PlayStation"));
    QVERIFY(!GuideChecklist::isSatisfied(playStation, found({QStringLiteral("SCPH5501.BIN")})));
    QVERIFY(GuideChecklist::isSatisfied(playStation, found({QStringLiteral("scph5501.bin")})));
    const BIOSEntry &dreamcast = row(QStringLiteral("Sega Dreamcast"));
    QVERIFY(!GuideChecklist::isSatisfied(dreamcast, found({QStringLiteral("dc_boot.bin")})));
    QVERIFY(
        GuideChecklist::isSatisfied(dreamcast, found({QStringLiteral("dc_boot.bin"), QStringLiteral("dc_flash.bin")})));
    QVERIFY(GuideChecklist::isSatisfied(row(QStringLiteral("SNES (3 special games only)")),
                                        found({QStringLiteral("st011.rom")})));
}

void GuideTest::scanSkipsHiddenAndDataFolders()
{
    touch(support(QStringLiteral("BIOS/scph5501.bin")));
    touch(support(QStringLiteral("Flycast/deep/er/dc_boot.bin")));
    touch(support(QStringLiteral(".hidden.bin")));
    touch(support(QStringLiteral(".cache/panafz10.bin")));
    touch(support(QStringLiteral("Game Library/5200.rom")));
    touch(support(QStringLiteral("Mednafen/Save States/lynxboot.img")));
    touch(support(QStringLiteral("Other/Game Library/disksys.rom")));
    touch(support(QStringLiteral("a/o2rom.bin")));
    touch(support(QStringLiteral("b/o2rom.bin")));
    const GuideChecklist::FoundFiles map = GuideChecklist::scanFileNames();
    QCOMPARE(map.keys(),
             (QStringList{QStringLiteral("dc_boot.bin"), QStringLiteral("o2rom.bin"), QStringLiteral("scph5501.bin")}));
    QCOMPARE(map.value(QStringLiteral("scph5501.bin")), support(QStringLiteral("BIOS/scph5501.bin")));
    QVERIFY(map.value(QStringLiteral("o2rom.bin")).endsWith(QStringLiteral("/o2rom.bin")));

    QDir(m_home.path(QStringLiteral("Library"))).removeRecursively();
    QVERIFY(GuideChecklist::scanFileNames().isEmpty());
}

void GuideTest::scanLooksAtMost20000Entries()
{
    // 20,100 entries: one folder and 20,099 files, then a BIOS file in a folder that sorts last.
    const QString bulk = support(QStringLiteral("bulk"));
    QDir().mkpath(bulk);
    for (int i = 0; i < 20'099; ++i)
        touch(bulk + QStringLiteral("/f%1").arg(i));
    const GuideChecklist::FoundFiles some = GuideChecklist::scanFileNames();
    QCOMPARE(some.size(), GuideChecklist::maxEntries - 1); // the folder counts too
}

void GuideTest::folderForARow()
{
    const BIOSEntry &dreamcast = row(QStringLiteral("Sega Dreamcast"));
    QCOMPARE(GuideChecklist::folder(dreamcast, {}), m_home.path(QStringLiteral("Library/Application Support")));
    QDir().mkpath(support(QString()));
    QCOMPARE(GuideChecklist::folder(dreamcast, {}), support(QString()).chopped(1));
    QDir().mkpath(support(QStringLiteral("Flycast")));
    QCOMPARE(GuideChecklist::folder(dreamcast, {}), support(QStringLiteral("Flycast")));
    QCOMPARE(GuideChecklist::folder(row(QStringLiteral("3DO")), {}), support(QString()).chopped(1));
    QCOMPARE(GuideChecklist::folder(dreamcast, found({QStringLiteral("dc_flash.bin")})),
             QStringLiteral("/somewhere/BIOS"));
}

void GuideTest::stepTexts()
{
    QList<GuideStep> steps = GuideChecklist::steps(false, std::nullopt, {}, 0);
    QCOMPARE(steps.size(), 4);
    QCOMPARE(steps[0].detail, QStringLiteral("Use the Home page to install it."));
    QCOMPARE(steps[1].detail,
             QStringLiteral("Pick the folder where your own game files live. Vantor only remembers the path."));
    QCOMPARE(steps[2].detail, QStringLiteral("Optional. Only needed for the systems in the table below."));
    QCOMPARE(steps[3].detail, QStringLiteral("Optional. The keyboard works too."));
    for (const GuideStep &step : steps)
        QVERIFY(!step.done);

    steps = GuideChecklist::steps(true, QStringLiteral("/Games"), found({QStringLiteral("st018.rom")}), 1);
    QCOMPARE(steps[0].detail, QStringLiteral("Found on this Mac."));
    QCOMPARE(steps[1].detail, QStringLiteral("/Games"));
    QCOMPARE(steps[2].detail, QStringLiteral("1 system(s) have their BIOS file(s)."));
    QCOMPARE(steps[3].detail, QStringLiteral("1 controller(s) connected."));
    for (const GuideStep &step : steps)
        QVERIFY(step.done);

    steps = GuideChecklist::steps(true, std::nullopt,
                                  found({QStringLiteral("5200.rom"), QStringLiteral("panafz10.bin")}), 2);
    QCOMPARE(steps[2].detail, QStringLiteral("2 system(s) have their BIOS file(s)."));
    QCOMPARE(steps[3].detail, QStringLiteral("2 controller(s) connected."));
}

void GuideTest::modelScansAndRemembersGamesFolder()
{
    touch(support(QStringLiteral("BIOS/panafz10.bin")));
    {
        AppModel model(QStringLiteral("http://127.0.0.1:1/feed"), m_prompter, m_workspace);
        model.start();
        QTRY_VERIFY_WITH_TIMEOUT(!model.isSettling(), 10'000);
        QVERIFY(model.biosFound().contains(QStringLiteral("panafz10.bin")));

        model.chooseGamesFolder(); // cancelled
        QVERIFY(!model.gamesFolder());
        m_prompter.folderAnswer = QStringLiteral("/Volumes/Games");
        model.chooseGamesFolder();
        QCOMPARE(model.gamesFolder(), QStringLiteral("/Volumes/Games"));
        m_prompter.folderAnswer.reset();
        model.chooseGamesFolder(); // cancelled again: the choice stays
        QCOMPARE(model.gamesFolder(), QStringLiteral("/Volumes/Games"));
    }
    AppModel restarted(QStringLiteral("http://127.0.0.1:1/feed"), m_prompter, m_workspace);
    QCOMPARE(restarted.gamesFolder(), QStringLiteral("/Volumes/Games"));
}

void GuideTest::controllersComeAndGo()
{
    ControllerMonitor monitor;
    QSignalSpy changes(&monitor, &ControllerMonitor::controllersChanged);
    const qsizetype before = monitor.controllers().size();

    const int pad = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 1);
    QVERIFY2(pad >= 0, SDL_GetError());
    QTRY_COMPARE_WITH_TIMEOUT(monitor.controllers().size(), before + 1, 5000); // the running monitor notices
    const ControllerInfo added = monitor.controllers().last();
    QCOMPARE(added.name, QStringLiteral("Game controller")); // no maker known
    QCOMPARE(added.kind, QStringLiteral("Virtual Controller · full gamepad"));

    const int stick = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_ARCADE_STICK, 0, 2, 1);
    QVERIFY2(stick >= 0, SDL_GetError());
    QTRY_COMPARE_WITH_TIMEOUT(monitor.controllers().size(), before + 2, 5000);
    // SDL has no mapping for a stick with a d-pad and two buttons.
    QCOMPARE(monitor.controllers().last().kind, QStringLiteral("Virtual Arcade Stick · micro gamepad"));

    const QUuid before2 = monitor.controllers().first().id;
    monitor.refresh();
    QVERIFY(monitor.controllers().first().id != before2); // a new identity at every refresh

    QVERIFY(SDL_JoystickDetachVirtual(stick) == 0);
    QVERIFY(SDL_JoystickDetachVirtual(pad) == 0);
    QTRY_COMPARE_WITH_TIMEOUT(monitor.controllers().size(), before, 5000);
    QVERIFY(changes.count() >= 4);
}

QTEST_MAIN(GuideTest)
#include "tst_guide.moc"
