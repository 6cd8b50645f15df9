#include "guide/ProjectDocs.h"

// Row by row as the project documents them; names are UTF-8 and stored byte for byte.

namespace ProjectDocs {

namespace {

SystemInfo system(const char *name, const char *core, std::optional<QString> bios = std::nullopt, const char *note = "")
{
    return {QUuid::createUuid(), QString::fromUtf8(name), QString::fromUtf8(core), std::move(bios),
            QString::fromUtf8(note)};
}

BIOSEntry bios(const char *system, QStringList files, bool anyOf, bool optional, const char *note = "")
{
    return {QUuid::createUuid(), QString::fromUtf8(system), std::move(files), anyOf, optional, QString::fromUtf8(note)};
}

} // namespace

const QList<SystemInfo> &systems()
{
    static const QList<SystemInfo> table = {
        system("Arcade (MAME)", "MAME 0.250", QStringLiteral("Some games need BIOS/parent ROMs")),
        system("Atari 2600", "Stella 3.9.3"),
        system("Atari 5200", "Atari800 3.1.0", QStringLiteral("5200.rom")),
        system("Atari 7800", "ProSystem 1.5.2"),
        system("Atari 8-bit", "Atari800 3.1.0"),
        system("Atari Jaguar", "VirtualJaguar", std::nullopt, "Partial support"),
        system("Atari Lynx", "Mednafen", QStringLiteral("lynxboot.img")),
        system("ColecoVision", "JollyCV 1.0.1 / blueMSX 2.8.3"),
        system("Famicom Disk System", "Nestopia", QStringLiteral("disksys.rom")),
        system("Game Boy", "Gambatte 0.5.2"),
        system("Game Boy Color", "Gambatte"),
        system("Game Boy Advance", "mGBA 0.10.6"),
        system("Game Gear", "Genesis Plus GX / CrabEmu"),
        system("GameCube", "Dolphin"),
        system("Intellivision", "Bliss", QStringLiteral("exec.bin, grom.bin")),
        system("MSX", "blueMSX 2.8.3", std::nullopt, "Partial support"),
        system("Neo Geo Pocket", "Mednafen"),
        system("NES / Famicom", "Nestopia 1.52.1 / FCEU 2.6.7"),
        system("Nintendo 64", "Mupen64Plus 2.5.11"),
        system("Nintendo DS", "DeSmuME 0.9.14"),
        system("Odyssey² / Videopac+", "O2EM 1.16", QStringLiteral("o2rom.bin")),
        system("PC Engine / TurboGrafx-16", "Mednafen"),
        system("PC Engine CD / TurboGrafx-CD", "Mednafen", QStringLiteral("syscard3.pce")),
        system("PC-FX", "Mednafen", QStringLiteral("Regional BIOS required")),
        system("PlayStation", "Mednafen 1.26.2", QStringLiteral("Regional BIOS required")),
        system("PSP", "PPSSPP"),
        system("Pokémon Mini", "PokeMini 0.6.0"),
        system("Sega 32X", "picodrive 1.93"),
        system("Sega CD / Mega-CD", "Genesis Plus GX / picodrive", QStringLiteral("Regional BIOS required")),
        system("Sega Dreamcast", "Flycast v2024.09.30", QStringLiteral("dc_boot.bin, dc_flash.bin")),
        system("Sega Genesis / Mega Drive", "Genesis Plus GX 1.7.5.2"),
        system("Sega Master System", "Genesis Plus GX / CrabEmu"),
        system("Sega Saturn", "Mednafen", QStringLiteral("Regional BIOS required")),
        system("SG-1000", "Genesis Plus GX"),
        system("SNES", "Snes9x 1.63.1 / BSNES", std::nullopt, "No BIOS except for 3 specific games"),
        system("Vectrex", "VecXGL"),
        system("Virtual Boy", "Mednafen"),
        system("Watara Supervision", "Potator"),
        system("Wii", "Dolphin"),
        system("WonderSwan", "Mednafen"),
        system("3DO", "4DO 2.3.1", QStringLiteral("panafz10.bin")),
        system("Commodore 64, PlayStation 2, Sega VMU", "none", std::nullopt,
               "Listed in the app but no emulation core; games can't be played"),
    };
    return table;
}

const QList<BIOSEntry> &biosTable()
{
    static const QList<BIOSEntry> table = {
        bios("Atari 5200", {QStringLiteral("5200.rom")}, false, false),
        bios("Atari Lynx", {QStringLiteral("lynxboot.img")}, false, false),
        bios("Famicom Disk System", {QStringLiteral("disksys.rom")}, false, false),
        bios("Intellivision", {QStringLiteral("exec.bin"), QStringLiteral("grom.bin")}, false, false,
             "ivoice.bin and ecs.bin are optional"),
        bios("Odyssey² / Videopac", {QStringLiteral("o2rom.bin")}, false, false),
        bios("PlayStation",
             {QStringLiteral("scph5500.bin"), QStringLiteral("scph5501.bin"), QStringLiteral("scph5502.bin")}, true,
             false, "Japan / North America / Europe: one is enough for your region"),
        bios("Sega CD",
             {QStringLiteral("BIOS_CD_J.bin"), QStringLiteral("BIOS_CD_U.bin"), QStringLiteral("BIOS_CD_E.bin")}, true,
             false, "Japan / USA / Europe"),
        bios("Sega Saturn", {QStringLiteral("sega_101.bin"), QStringLiteral("mpr-17933.bin")}, true, false,
             "Japan / North America and Europe"),
        bios("Sega Dreamcast", {QStringLiteral("dc_boot.bin"), QStringLiteral("dc_flash.bin")}, false, false,
             "Both required; the docs use the Flycast folder"),
        bios("TurboGrafx-CD", {QStringLiteral("syscard3.pce")}, false, false, "Japan BIOS recommended"),
        bios("3DO", {QStringLiteral("panafz10.bin")}, false, false),
        bios("SNES (3 special games only)",
             {QStringLiteral("dsp3.rom"), QStringLiteral("st011.rom"), QStringLiteral("st018.rom")}, true, true,
             "Only certain games need these"),
    };
    return table;
}

const QList<KnownDump> &knownDumps()
{
    static const QList<KnownDump> table = [] {
        const char *good[][2] = {
            {"5200.rom", "281f20ea4320404ec820fb7ec0693b38"},
            {"lynxboot.img", "fcd403db69f54290b51035d82f835e7b"},
            {"disksys.rom", "ca30b50f880eb660a320674ed365ef7a"},
            {"exec.bin", "62e761035cb657903761800f4437b8af"},
            {"grom.bin", "0cd5946c6473e42e8e4c2137785e427f"},
            {"o2rom.bin", "562d5ebf9e030a40d6fabfc2f33139fd"},
            {"scph5500.bin", "8dd7d5296a650fac7319bce665a6a53c"},
            {"scph5501.bin", "490f666e1afb15b7362b406ed1cea246"},
            {"scph5502.bin", "32736f17079d0b2b7024407c39bd3050"},
            {"BIOS_CD_J.bin", "278a9397d192149e84e820ac621a8edd"},
            {"BIOS_CD_U.bin", "2efd74e3232ff260e371b99f84024f7f"},
            {"BIOS_CD_E.bin", "e66fa1dc5820d254611fdcdba0662372"},
            {"sega_101.bin", "85ec9ca47d8f6807718151cbcca8b964"},
            {"mpr-17933.bin", "3240872c70984b6cbfda1586cab68dbe"},
            {"dc_boot.bin", "e10c53c2f8b90bab96ead2d368858623"},
            {"syscard3.pce", "38179df8f4ac870017db21ebcbf53114"},
            {"panafz10.bin", "51f2f43ae2f3508a14d9f56597e2d3ce"},
            {"dsp3.rom", "484908d68405d44e2be757b4e1e75d15"},
            {"st011.rom", "5c209ce0283632b6574ad835bf862bee"},
            {"st018.rom", "dafae0e0c71c924075811c595c61a30e"},
        };
        QList<KnownDump> dumps;
        for (const auto &entry : good)
            dumps.append({QString::fromLatin1(entry[0]), QString::fromLatin1(entry[1]), false, {}});
        dumps.append({QStringLiteral("syscard3.pce"), QStringLiteral("ff1a674273fe3540ccef576376407d1d"), true,
                      QStringLiteral("This dump has a 512-byte header; remove the first 512 bytes.")});
        return dumps;
    }();
    return table;
}

bool isNeverJudged(const QString &file)
{
    return file == QStringLiteral("dc_flash.bin");
}

} // namespace ProjectDocs
