// Syntax-only stand-in for the SDK's <sys/sysctl.h>.
#pragma once
#include <stddef.h>

extern "C" int sysctlbyname(const char *, void *, size_t *, void *, size_t);
