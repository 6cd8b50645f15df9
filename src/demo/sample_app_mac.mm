// A stand-in for OpenEmu on the Mac, in tests and the demo: a real (windowless) Cocoa app, so
// that LaunchServices knows it and Vantor's quit request (the quit Apple event, sent through
// NSRunningApplication) reaches it as it reaches OpenEmu. It quits on that request, or on
// SIGTERM as the Linux one does. With --ignore-quit it refuses both, like an app stuck on an
// unsaved-changes prompt.

#import <AppKit/AppKit.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

bool ignoreQuit = false;

// Said once it is running, for whoever started it and waits to know (nobody may listen).
void ready()
{
    static const char line[] = "ready\n";
    [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, line, sizeof line - 1);
}

} // namespace

@interface SampleAppDelegate : NSObject <NSApplicationDelegate>
@end

@implementation SampleAppDelegate

- (void)applicationDidFinishLaunching:(NSNotification *)notification
{
    (void)notification;
    ready();
}

- (NSApplicationTerminateReply)applicationShouldTerminate:(NSApplication *)sender
{
    (void)sender;
    return ignoreQuit ? NSTerminateCancel : NSTerminateNow;
}

@end

int main(int argc, char *argv[])
{
    std::signal(SIGPIPE, SIG_IGN);
    ignoreQuit = argc > 1 && std::strcmp(argv[1], "--ignore-quit") == 0;
    // SIGTERM on the main queue rather than in a handler: it ends the app unless quitting is
    // refused.
    std::signal(SIGTERM, SIG_IGN);
    dispatch_source_t terminate
        = dispatch_source_create(DISPATCH_SOURCE_TYPE_SIGNAL, SIGTERM, 0, dispatch_get_main_queue());
    dispatch_source_set_event_handler(terminate, ^{
      if (!ignoreQuit)
          std::exit(0);
    });
    dispatch_resume(terminate);
    @autoreleasepool {
        NSApplication *app = NSApplication.sharedApplication;
        // No Dock icon and no menu bar: a test run shouldn't take the user's screen.
        app.activationPolicy = NSApplicationActivationPolicyAccessory;
        SampleAppDelegate *delegate = [[SampleAppDelegate alloc] init];
        app.delegate = delegate;
        [app run];
    }
    return 0;
}
