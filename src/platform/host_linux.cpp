#include "base/TestHooks.h"
#include "platform/Host.h"

#include <QtGlobal>

namespace Host {

namespace {

std::optional<Simulated> simulated()
{
    // The demo shows its whole story on a Mac like most users' own.
    if (DemoFlag::isSet())
        return parseSimulated(QStringLiteral("macos-14.5.0-arm64"));
    return parseSimulated(TestHooks::variable("VANTOR_HOST"));
}

} // namespace

OSVersion macOSVersion()
{
    const auto host = simulated();
    return host ? host->version : OSVersion{};
}

bool isAppleSilicon()
{
    const auto host = simulated();
    return host && host->arm64;
}

} // namespace Host
