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

} // namespace TestHooks

// Demo mode, set inside the process by the demo itself: another process cannot ask for it
// through the environment. The demo's sample app is not signed, and off a Mac the demo runs on a
// simulated Apple-silicon Mac.
namespace DemoFlag {

void set();
bool isSet();

} // namespace DemoFlag
