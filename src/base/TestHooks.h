#pragma once

#include <QString>

// Environment variables that change a security check or exist only for tests:
// VANTOR_SIGNATURE_TOOLS (the signature tools run), VANTOR_HOST (a simulated Mac) and
// VANTOR_KILL_AT_STEP (a kill in the middle of a change). A build made without the
// VANTOR_TEST_HOOKS option (the release build) never reads them.
namespace TestHooks {

bool enabled();
// The variable's value where test hooks are built in; empty otherwise.
QString variable(const char *name);
// Whether this process is one of the tests' (VANTOR_TESTING, set by the test home, where hooks
// are built in): it must keep to its own home, as the demo does, since the Mac's preferences
// service and the Finder's Trash ignore HOME.
bool inTest();

} // namespace TestHooks

// Demo mode, set inside the process by the demo itself: another process cannot ask for it
// through the environment. The demo's sample app is not signed, and off a Mac the demo runs on a
// simulated Apple-silicon Mac.
namespace DemoFlag {

void set();
bool isSet();

} // namespace DemoFlag
