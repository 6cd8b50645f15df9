#include "base/TestHooks.h"
#include "platform/Host.h"

#include <QOperatingSystemVersion>

#include <sys/sysctl.h>

namespace Host {

// Tests simulate another Mac (an older macOS, an Intel one) only in a build with the test
// hooks on; a release always answers for this Mac.
OSVersion macOSVersion()
{
    if (const auto host = parseSimulated(TestHooks::variable("VANTOR_HOST")))
        return host->version;
    const auto v = QOperatingSystemVersion::current();
    return {v.majorVersion(), qMax(0, v.minorVersion()), qMax(0, v.microVersion())};
}

bool isAppleSilicon()
{
    if (const auto host = parseSimulated(TestHooks::variable("VANTOR_HOST")))
        return host->arm64;
    int value = 0;
    size_t size = sizeof(value);
    return sysctlbyname("hw.optional.arm64", &value, &size, nullptr, 0) == 0 && value == 1;
}

} // namespace Host
