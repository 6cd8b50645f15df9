#include "base/TestHooks.h"

#include <QtGlobal>

#include <atomic>

namespace TestHooks {

bool enabled()
{
#ifdef VANTOR_TEST_HOOKS
    return true;
#else
    return false;
#endif
}

bool inTest()
{
    return enabled() && qEnvironmentVariableIsSet("VANTOR_TESTING");
}

QString variable(const char *name)
{
    return enabled() ? qEnvironmentVariable(name) : QString();
}

} // namespace TestHooks

namespace DemoFlag {

namespace {

std::atomic<bool> demo = false; // read by background steps too

} // namespace

void set()
{
    demo = true;
}

bool isSet()
{
    return demo;
}

} // namespace DemoFlag
