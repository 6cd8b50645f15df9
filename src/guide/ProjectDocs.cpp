#include "guide/ProjectDocs.h"

// Row by row as the project documents them; names are UTF-8 and stored byte for byte.

namespace ProjectDocs {

namespace {

SystemInfo system(const char *name, const char *core, std::optional<QString> bios = std::nullopt, const char *note = "")
{
    return {QUuid::createUuid(), QString::fromUtf8(name), QString::fromUtf8(core),
            std::move(bios),     QString::fromUtf8(note), QString()};
}

// A system's files, every one needed but those in `optionalFiles`; a row whose files are all
// optional is itself optional (only some games need them).
BIOSEntry bios(const char *system, const char *systemId, QStringList files, QStringList optionalFiles = {},
               const char *note = "")
{
    const bool optional = optionalFiles.size() == files.size();
    return {QUuid::createUuid(),     QString::fromUtf8(system),     std::move(files),        false, optional,
            QString::fromUtf8(note), QString::fromLatin1(systemId), std::move(optionalFiles)};
}

} // namespace

const QList<SystemInfo> &systems()
{
    // As OpenEmu-Silicon ships them: its cores and the systems each serves (no arcade core; Game Boy
    // Color games run as Game Boy), each core's version as its bundle gives it where that is known.
    static const QList<SystemInfo> table = {
        system("3DO", "4DO 1.3.2.3", QStringLiteral("panafz10.bin")),
        system("Atari 2600", "Stella 3.9.3.3"),
        system("Atari 5200", "Atari800 3.1.1", QStringLiteral("5200.rom")),
        system("Atari 7800", "ProSystem 1.5.2"),
        system("Atari 8-bit", "Atari800 3.1.1", QStringLiteral("ataribas.rom, atariosb.rom, atarixl.rom")),
        system("Atari Jaguar", "VirtualJaguar", std::nullopt, "Save states are not supported"),
        system("Atari Lynx", "Mednafen 1.26.1", QStringLiteral("lynxboot.img")),
        system("ColecoVision", "CrabEmu 0.2.1.269 / JollyCV / blueMSX 2.9.1293", QStringLiteral("coleco.rom")),
        system("Famicom Disk System", "Nestopia 1.52", QStringLiteral("disksys.rom")),
        system("Game Boy / Game Boy Color", "Gambatte 0.5.1"),
        system("Game Boy Advance", "mGBA 0.10.5"),
        system("Game Gear", "Genesis Plus 1.7.5.1"),
        system("GameCube", "Dolphin"),
        system("Intellivision", "Bliss 2.1.2", QStringLiteral("exec.bin, grom.bin")),
        system("MSX", "blueMSX 2.9.1293"),
        system("Neo Geo Pocket", "Mednafen 1.26.1"),
        system("NES / Famicom", "Nestopia 1.52 / FCEU 2.6.6"),
        system("Nintendo 64", "Mupen64Plus 2.5.10"),
        system("Nintendo DS", "DeSmuME 0.9.11.3"),
        system("Odyssey² / Videopac+", "O2EM 1.18.1", QStringLiteral("o2rom.bin")),
        system("PC Engine / TurboGrafx-16", "Mednafen 1.26.1"),
        system("PC Engine CD / TurboGrafx-CD", "Mednafen 1.26.1", QStringLiteral("syscard3.pce")),
        system("PC-FX", "Mednafen 1.26.1", QStringLiteral("pcfx.rom")),
        system("PlayStation", "Mednafen 1.26.1", QStringLiteral("scph5500.bin, scph5501.bin, scph5502.bin")),
        system("PSP", "PPSSPP"),
        system("Pokémon Mini", "PokeMini 0.6"),
        system("Sega 32X", "picodrive 1.93"),
        system("Sega CD / Mega-CD", "Genesis Plus 1.7.5.1",
               QStringLiteral("BIOS_CD_E.bin, BIOS_CD_U.bin, BIOS_CD_J.bin")),
        system("Sega Dreamcast", "Flycast 2.4", QStringLiteral("dc_boot.bin, dc_flash.bin")),
        system("Sega Genesis / Mega Drive", "Genesis Plus 1.7.5.1"),
        system("Sega Master System", "Genesis Plus 1.7.5.1"),
        system("Sega Saturn", "Mednafen 1.26.1", QStringLiteral("sega_101.bin, mpr-17933.bin")),
        system("SG-1000", "Genesis Plus 1.7.5.1"),
        system("SNES", "SNES9x 1.63 / BSNES", std::nullopt, "No BIOS except for a few special games"),
        system("Vectrex", "VecXGL"),
        system("Virtual Boy", "Mednafen 1.26.1"),
        system("Watara Supervision", "Potator"),
        system("Wii", "Dolphin"),
        system("WonderSwan", "Mednafen 1.26.1"),
        system("Commodore 64, PlayStation 2, Sega VMU", "none", std::nullopt,
               "Listed in the app but no emulation core; games can't be played"),
    };
    return table;
}

const QList<BIOSEntry> &biosTable()
{
    // OpenEmu starts a game only when every file of its core's list that isn't marked optional is
    // in its BIOS folder: one file "for your region" is not enough.
    static const QList<BIOSEntry> table = {
        bios("3DO", "openemu.system.3do", {QStringLiteral("panafz10.bin")}),
        bios("Atari 5200", "openemu.system.5200", {QStringLiteral("5200.rom")}),
        bios("Atari 8-bit", "openemu.system.atari8bit",
             {QStringLiteral("ataribas.rom"), QStringLiteral("atariosb.rom"), QStringLiteral("atarixl.rom")}),
        bios("Atari Lynx", "openemu.system.lynx", {QStringLiteral("lynxboot.img")}),
        bios("ColecoVision", "openemu.system.colecovision", {QStringLiteral("coleco.rom")}),
        bios("Famicom Disk System", "openemu.system.fds", {QStringLiteral("disksys.rom")}),
        bios("Intellivision", "openemu.system.intellivision",
             {QStringLiteral("exec.bin"), QStringLiteral("grom.bin"), QStringLiteral("ivoice.bin"),
              QStringLiteral("ecs.bin")},
             {QStringLiteral("ivoice.bin"), QStringLiteral("ecs.bin")}),
        bios("Odyssey² / Videopac", "openemu.system.odyssey2", {QStringLiteral("o2rom.bin")}),
        bios("PC-FX", "openemu.system.pcfx", {QStringLiteral("pcfx.rom")}),
        bios("PlayStation", "openemu.system.psx",
             {QStringLiteral("scph5500.bin"), QStringLiteral("scph5501.bin"), QStringLiteral("scph5502.bin")}, {},
             "All three are needed (Japan, North America, Europe), whatever your games' region"),
        bios("Pokémon mini", "openemu.system.pokemonmini", {QStringLiteral("bios.min")}, {QStringLiteral("bios.min")}),
        bios("Sega CD", "openemu.system.scd",
             {QStringLiteral("BIOS_CD_E.bin"), QStringLiteral("BIOS_CD_U.bin"), QStringLiteral("BIOS_CD_J.bin")}, {},
             "All three are needed (Europe, USA, Japan)"),
        bios("Sega Dreamcast", "openemu.system.dc", {QStringLiteral("dc_boot.bin"), QStringLiteral("dc_flash.bin")}),
        bios("Sega Saturn", "openemu.system.saturn", {QStringLiteral("sega_101.bin"), QStringLiteral("mpr-17933.bin")},
             {}, "Both are needed"),
        bios("TurboGrafx-CD", "openemu.system.pcecd", {QStringLiteral("syscard3.pce")}),
        bios("SNES (a few special games only)", "openemu.system.snes",
             {QStringLiteral("BS-X.bin"), QStringLiteral("BS-X BIOS (English) [No DRM] [2016 v1.3].sfc"),
              QStringLiteral("dsp3.rom"), QStringLiteral("st011.rom"), QStringLiteral("st018.rom")},
             {QStringLiteral("BS-X.bin"), QStringLiteral("BS-X BIOS (English) [No DRM] [2016 v1.3].sfc"),
              QStringLiteral("dsp3.rom"), QStringLiteral("st011.rom"), QStringLiteral("st018.rom")},
             "Only the games that use these chips or the Satellaview need them"),
    };
    return table;
}

const QList<KnownDump> &knownDumps()
{
    // Each file the cores of OpenEmu-Silicon list, with every MD5 they accept for it.
    static const QList<KnownDump> table = [] {
        const char *good[][2] = {
            {"panafz10.bin", "51f2f43ae2f3508a14d9f56597e2d3ce"},
            {"5200.rom", "281f20ea4320404ec820fb7ec0693b38"},
            {"ataribas.rom", "0bac0c6a50104045d902df4503a4c30b"},
            {"atariosb.rom", "a3e8d617c95d08031fe1b20d541434b2"},
            {"atarixl.rom", "06daac977823773a3eea3422fd26a703"},
            {"exec.bin", "62e761035cb657903761800f4437b8af"},
            {"grom.bin", "0cd5946c6473e42e8e4c2137785e427f"},
            {"ivoice.bin", "d5530f74681ec6e0f282dab42e6b1c5f"},
            {"ecs.bin", "2e72a9a2b897d330a35c8b07a6146c52"},
            {"coleco.rom", "2c66f5911e5b42b8ebe113403548eee7"},
            {"dc_boot.bin", "e10c53c2f8b90bab96ead2d368858623"},
            {"dc_flash.bin", "0a93f7940c455905bea6e392dfde92a4"},
            {"dc_flash.bin", "93a9766f14159b403178ac77417c6b68"},
            {"dc_flash.bin", "9338b10ee6f13fbc8bfcd6276e156fad"},
            {"BIOS_CD_E.bin", "e66fa1dc5820d254611fdcdba0662372"},
            {"BIOS_CD_U.bin", "2efd74e3232ff260e371b99f84024f7f"},
            {"BIOS_CD_J.bin", "278a9397d192149e84e820ac621a8edd"},
            {"lynxboot.img", "fcd403db69f54290b51035d82f835e7b"},
            {"syscard3.pce", "38179df8f4ac870017db21ebcbf53114"},
            {"pcfx.rom", "08e36edbea28a017f79f8d4f7ff9b6d7"},
            {"scph5500.bin", "8dd7d5296a650fac7319bce665a6a53c"},
            {"scph5501.bin", "490f666e1afb15b7362b406ed1cea246"},
            {"scph5502.bin", "32736f17079d0b2b7024407c39bd3050"},
            {"sega_101.bin", "85ec9ca47d8f6807718151cbcca8b964"},
            {"mpr-17933.bin", "3240872c70984b6cbfda1586cab68dbe"},
            {"disksys.rom", "ca30b50f880eb660a320674ed365ef7a"},
            {"o2rom.bin", "562d5ebf9e030a40d6fabfc2f33139fd"},
            {"bios.min", "1e4fb124a3a886865acb574f388c803d"},
            {"BS-X.bin", "fed4d8242cfbed61343d53d48432aced"},
            {"BS-X BIOS (English) [No DRM] [2016 v1.3].sfc", "96cf17bf589fcbfa6f8de2dc84f19fa2"},
            {"dsp3.rom", "484908d68405d44e2be757b4e1e75d15"},
            {"st018.rom", "dafae0e0c71c924075811c595c61a30e"},
            {"st011.rom", "5c209ce0283632b6574ad835bf862bee"},
        };
        QList<KnownDump> dumps;
        for (const auto &entry : good)
            dumps.append({QString::fromUtf8(entry[0]), QString::fromLatin1(entry[1]), false, {}});
        dumps.append({QStringLiteral("syscard3.pce"), QStringLiteral("ff1a674273fe3540ccef576376407d1d"), true,
                      QStringLiteral("This dump has a 512-byte header; remove the first 512 bytes.")});
        return dumps;
    }();
    return table;
}

} // namespace ProjectDocs
