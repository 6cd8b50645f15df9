#include "demo/DemoMode.h"
#include "base/TestHooks.h"

#include "demo/Bundles.h"
#include "demo/SampleRelease.h"
#include "install/VersionChecker.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUrl>

#include <cstring>

namespace DemoMode {

namespace {

const QString feedPath = QStringLiteral("/repos/OpenEmu-Silicon/OpenEmu-Silicon/releases/latest");

bool hasArgument(int argc, char *argv[], const char *name)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return true;
    }
    return false;
}

void write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

// OpenEmu's data as a player's Mac would have it: save states, a library, settings, a cache,
// its saved windows and two BIOS files.
void seedHome(const QString &home)
{
    const QString support = home + QStringLiteral("/Library/Application Support/OpenEmu");
    // The save states moved to another drive, as OpenEmu lets a player do: its preferences say where.
    const QString states = home + QStringLiteral("/Games Drive/Save States");
    // Save states as OpenEmu writes them: one made with an older Snes9x than the one installed.
    const auto saveState = [&](const QString &where, const QString &name, const QString &core, const QString &version,
                               qsizetype size) {
        write(states + where + QStringLiteral(".oesavestate/State"), QByteArray(size, 's'));
        Bundles::writePreferences(states + where + QStringLiteral(".oesavestate/Info.plist"),
                                  {{QStringLiteral("Name"), name},
                                   {QStringLiteral("ROM MD5"), QStringLiteral("6b47bb75d16514b6a476aa0c73a683a2")},
                                   {QStringLiteral("Core Identifier"), core},
                                   {QStringLiteral("Core Version"), version},
                                   {QStringLiteral("Version"), QStringLiteral("1.0")}});
    };
    saveState(QStringLiteral("/SNES/Super Demo World/Slot 1"), QStringLiteral("Slot 1"),
              QStringLiteral("org.openemu.Snes9x"), QStringLiteral("1.60"), 48'000);
    // Made with the Mupen64Plus inside OpenEmu 1.0.3; 1.0.4 brings a newer one.
    saveState(QStringLiteral("/N64/Demo Kart 64/OESpecialState_quick2"), QStringLiteral("OESpecialState_quick2"),
              QStringLiteral("org.openemu.Mupen64Plus"), QStringLiteral("2.5.10"), 64'000);
    saveState(QStringLiteral("/GBA/Demo Advance/OESpecialState_auto"), QStringLiteral("OESpecialState_auto"),
              QStringLiteral("org.openemu.mGBA"), QStringLiteral("0.10.5"), 96'000);
    Bundles::writePreferences(home + QStringLiteral("/Library/Preferences/org.openemu.OpenEmu.plist"),
                              {{QStringLiteral("saveStateFolder"),
                                QUrl::fromLocalFile(states + QLatin1Char('/')).toString(QUrl::FullyEncoded)}});
    write(support + QStringLiteral("/Game Library/Library.storedata"), QByteArray(250'000, 'l'));
    // Two cores OpenEmu downloaded for itself, and the games' own saves in their folders.
    Bundles::write(support + QStringLiteral("/Cores"), QStringLiteral("Snes9x.oecoreplugin"),
                   {.identifier = QStringLiteral("org.openemu.Snes9x"),
                    .executableName = QStringLiteral("Snes9x"),
                    .bundleVersion = QStringLiteral("1.63"),
                    .systems = {QStringLiteral("openemu.system.snes")}});
    Bundles::write(support + QStringLiteral("/Cores"), QStringLiteral("mGBA.oecoreplugin"),
                   {.identifier = QStringLiteral("org.openemu.mGBA"),
                    .executableName = QStringLiteral("mGBA"),
                    .bundleVersion = QStringLiteral("0.10.5"),
                    .systems = {QStringLiteral("openemu.system.gba")}});
    // A core that lists the BIOS files it needs, as OpenEmu's do: real dumps can't be shipped, so
    // it lists the demo's own stand-ins (and the Lynx file already there).
    const auto md5 = [](const QByteArray &bytes) {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    };
    const QByteArray psx(4'096, 'P'), segaCd(2'048, 'S'), dreamcast(2'048, 'D'), lynx(512, 'x');
    const auto needs = [&](const QString &name, const QByteArray &bytes, const QString &description) {
        return QVariantMap{{QStringLiteral("Name"), name},
                           {QStringLiteral("MD5"), md5(bytes)},
                           {QStringLiteral("Size"), QString::number(bytes.size())},
                           {QStringLiteral("Description"), description}};
    };
    Bundles::write(
        support + QStringLiteral("/Cores"), QStringLiteral("Mednafen.oecoreplugin"),
        {.identifier = QStringLiteral("org.openemu.Mednafen"),
         .executableName = QStringLiteral("Mednafen"),
         .bundleVersion = QStringLiteral("1.29.0"),
         .systems = {QStringLiteral("openemu.system.psx"), QStringLiteral("openemu.system.lynx")},
         .more = {{QStringLiteral("OEGameCoreOptions"),
                   QVariantMap{{QStringLiteral("openemu.system.psx"),
                                QVariantMap{{QStringLiteral("OERequiredFiles"),
                                             QVariantList{needs(QStringLiteral("scph5501.bin"), psx,
                                                                QStringLiteral("PlayStation (USA) BIOS"))}}}},
                               {QStringLiteral("openemu.system.lynx"),
                                QVariantMap{{QStringLiteral("OERequiredFiles"),
                                             QVariantList{needs(QStringLiteral("lynxboot.img"), lynx,
                                                                QStringLiteral("Lynx boot ROM"))}}}}}}}});
    Bundles::write(
        support + QStringLiteral("/Cores"), QStringLiteral("GenesisPlus.oecoreplugin"),
        {.identifier = QStringLiteral("org.openemu.GenesisPlus"),
         .executableName = QStringLiteral("GenesisPlus"),
         .bundleVersion = QStringLiteral("1.7.4"),
         .systems = {QStringLiteral("openemu.system.scd")},
         .more = {{QStringLiteral("OEGameCoreOptions"),
                   QVariantMap{{QStringLiteral("openemu.system.scd"),
                                QVariantMap{{QStringLiteral("OERequiredFiles"),
                                             QVariantList{needs(QStringLiteral("BIOS_CD_U.bin"), segaCd,
                                                                QStringLiteral("Sega CD (USA) BIOS")),
                                                          needs(QStringLiteral("dc_boot.bin"), dreamcast,
                                                                QStringLiteral("Dreamcast boot ROM"))}}}}}}}});
    // A download of BIOS files under the names they came with, to add with "Add BIOS Files…".
    const QString pack = home + QStringLiteral("/Downloads/BIOS pack");
    write(pack + QStringLiteral("/PlayStation (USA) v4.1.bin"), psx);
    write(pack + QStringLiteral("/Dreamcast/boot [!].bin"), dreamcast);
    write(pack + QStringLiteral("/Lynx Boot ROM.img"), lynx);
    write(pack + QStringLiteral("/README.txt"), "Keep these files to yourself.\n");
    write(pack + QStringLiteral("/scph1001.bin"), QByteArray(4'096, '1'));
    write(pack + QStringLiteral("/zipped/US Sega CD 2.bin"), segaCd);
    // Zipped as such packs come; where there is no zip tool the folder stays as it is.
    if (QProcess::execute(QStringLiteral("zip"),
                          {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-j"),
                           pack + QStringLiteral("/Sega CD BIOS.zip"), pack + QStringLiteral("/zipped")})
        == 0)
        QDir(pack + QStringLiteral("/zipped")).removeRecursively();
    write(support + QStringLiteral("/Snes9x/Battery Saves/Super Demo World.srm"), QByteArray(8'192, 'b'));
    write(support + QStringLiteral("/mGBA/Battery Saves/Demo Advance.sav"), QByteArray(32'768, 'b'));
    // Saves kept outside Battery Saves: PPSSPP's memory stick and a Dolphin GameCube memory card.
    write(support + QStringLiteral("/PPSSPP/PSP/SAVEDATA/DEMO00001/DATA.BIN"), QByteArray(16'384, 'p'));
    write(support + QStringLiteral("/Dolphin/GC/USA/Card A/01-DEMO-Demo Kart.gci"), QByteArray(8'256, 'g'));
    write(support + QStringLiteral("/BIOS/scph5501.bin"), QByteArray(512'000, 'p'));
    write(support + QStringLiteral("/BIOS/lynxboot.img"), QByteArray(512, 'x'));
    write(home + QStringLiteral("/Library/Caches/org.openemu.OpenEmu/Cache.db"), QByteArray(64'000, 'c'));
    write(home + QStringLiteral("/Library/Saved Application State/org.openemu.OpenEmu.savedState/windows.plist"),
          QByteArray(2'048, 'w'));
}

} // namespace

bool requested(int argc, char *argv[])
{
    return hasArgument(argc, argv, "--demo") || resetRequested(argc, argv);
}

bool resetRequested(int argc, char *argv[])
{
    return hasArgument(argc, argv, "--demo-reset");
}

QString enterSandbox(bool reset)
{
    const QString root = QDir(QDir::tempPath()).filePath(QStringLiteral("vantor-demo"));
    if (reset)
        QDir(root).removeRecursively();
    const bool fresh = !QFileInfo::exists(root + QStringLiteral("/home"));
    for (const QString &folder : {QStringLiteral("home"), QStringLiteral("Applications"), QStringLiteral("config"),
                                  QStringLiteral("data"), QStringLiteral("tmp"), QStringLiteral("backups")})
        QDir().mkpath(root + QLatin1Char('/') + folder);
    if (fresh)
        seedHome(root + QStringLiteral("/home"));

    qputenv("HOME", QFile::encodeName(root + QStringLiteral("/home")));
    DemoFlag::set(); // an unsigned sample app on a simulated Mac
    qputenv("VANTOR_SYSTEM_APPLICATIONS", QFile::encodeName(root + QStringLiteral("/Applications")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
    qputenv("TMPDIR", QFile::encodeName(root + QStringLiteral("/tmp")));
    return root;
}

Feed::Feed(const QString &sandbox)
    : m_server(std::make_unique<FeedServer>())
{
    const QString work = sandbox + QStringLiteral("/releases");
    const QString first = QStringLiteral("/feeds/1.0.3");
    const QString second = QStringLiteral("/feeds/1.0.4");
    // Each app brings its own cores: 1.0.4 a newer Mupen64Plus than the demo's save state was made with.
    SampleRelease::publish(*m_server, work, first,
                           {.version = QStringLiteral("1.0.3"),
                            .cores = {{QStringLiteral("Mupen64Plus"), QStringLiteral("2.5.10")},
                                      {QStringLiteral("Snes9x"), QStringLiteral("1.60")}}});
    SampleRelease::publish(
        *m_server, work, second,
        {.version = QStringLiteral("1.0.4"),
         .zip = false,
         .diskImage = true,
         .digest = true,
         .checksumFile = true,
         .notes = QStringLiteral("## What's new\n\n**Faster** library loading, *fixed* save states "
                                 "and `Flycast` updates.\n- Controllers reconnect after sleep\n"
                                 "See [the project](https://github.com/OpenEmu-Silicon/OpenEmu-Silicon)."),
         .cores = {{QStringLiteral("Mupen64Plus"), QStringLiteral("2.6.0")},
                   {QStringLiteral("Snes9x"), QStringLiteral("1.63")}}});
    // Until OpenEmu is installed the feed offers 1.0.3; from then on the newer 1.0.4.
    const FeedServer::Route older = *m_server->routeOf(first);
    const FeedServer::Route newer = *m_server->routeOf(second);
    m_server->dynamic(feedPath, [older, newer] { return VersionChecker::findInstalled() ? newer : older; });
}

QString Feed::url() const
{
    return m_server->urlText(feedPath);
}

} // namespace DemoMode
