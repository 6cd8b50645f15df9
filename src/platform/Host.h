#pragma once

#include <QString>

#include <optional>

// What the computer Vantor runs on is: the macOS version and whether the processor is
// Apple silicon. Off a Mac both are answered from VANTOR_HOST when it simulates one
// ("macos-14.5.0-arm64"); otherwise the version is 0.0.0 and the processor not Apple's.
namespace Host {

struct OSVersion
{
    int major = 0;
    int minor = 0;
    int patch = 0;
};

OSVersion macOSVersion();
bool isAppleSilicon();

struct Simulated
{
    OSVersion version;
    bool arm64 = false;
};

// Parses a VANTOR_HOST value; none when it is not of the form macos-<x>.<y>.<z>-<arm64|x86_64>.
std::optional<Simulated> parseSimulated(const QString &text);

} // namespace Host
