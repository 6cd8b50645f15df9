#include "platform/Applications.h"

#include "base/PlatformError.h"

#import <AppKit/AppKit.h>

#include <cerrno>
#include <unistd.h>

namespace Applications {

void requestQuit(const RunningApp &app)
{
    // A polite request, as the app's own Quit command: OpenEmu saves and may ask about unsaved
    // changes. SIGTERM would end a Cocoa app at once. Only this user's instances are asked.
    @autoreleasepool {
        NSRunningApplication *running =
            [NSRunningApplication runningApplicationWithProcessIdentifier:pid_t(app.pid)];
        if (running)
            [running terminate];
    }
}

void open(const QString &bundlePath)
{
    // The workspace opens the app on its own queue; the answer comes back later, so only a
    // bundle that is not there is reported here, the rest through the completion handler's log.
    if (::access(bundlePath.toUtf8().constData(), F_OK) != 0)
        throw PlatformErrors::posix(ENOENT, bundlePath);
    @autoreleasepool {
        NSURL *url = [NSURL fileURLWithPath:bundlePath.toNSString() isDirectory:YES];
        NSWorkspaceOpenConfiguration *configuration = [NSWorkspaceOpenConfiguration configuration];
        configuration.activates = YES;
        [[NSWorkspace sharedWorkspace] openApplicationAtURL:url
                                              configuration:configuration
                                          completionHandler:^(NSRunningApplication *, NSError *error) {
                                              if (error)
                                                  NSLog(@"Opening OpenEmu-Silicon: %@", error.localizedDescription);
                                          }];
    }
}

} // namespace Applications
