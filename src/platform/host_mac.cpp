#include "platform/Host.h"

#include <QOperatingSystemVersion>

#include <sys/sysctl.h>

namespace Host {

OSVersion macOSVersion()
{
    const auto v = QOperatingSystemVersion::current();
    return {v.majorVersion(), qMax(0, v.minorVersion()), qMax(0, v.microVersion())};
}

bool isAppleSilicon()
{
    int value = 0;
    size_t size = sizeof(value);
    return sysctlbyname("hw.optional.arm64", &value, &size, nullptr, 0) == 0 && value == 1;
}

} // namespace Host
