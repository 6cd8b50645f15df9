#include "platform/Host.h"

#include <QtGlobal>

namespace Host {

namespace {

std::optional<Simulated> simulated()
{
    return parseSimulated(qEnvironmentVariable("VANTOR_HOST"));
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
