#include "platform/Applications.h"

#include "base/PlatformError.h"

#include <QPromise>

#import <AppKit/AppKit.h>

#include <cerrno>
#include <exception>
#include <memory>
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

QFuture<void> open(const QString &bundlePath)
{
    // The workspace opens the app on its own queue and answers in the completion handler,
    // from another thread: the promise carries its error back to the waiting task.
    if (::access(bundlePath.toUtf8().constData(), F_OK) != 0)
        throw PlatformErrors::posix(ENOENT, bundlePath);
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> future = promise->future();
    promise->start();
    @autoreleasepool {
        NSURL *url = [NSURL fileURLWithPath:bundlePath.toNSString() isDirectory:YES];
        NSWorkspaceOpenConfiguration *configuration = [NSWorkspaceOpenConfiguration configuration];
        configuration.activates = YES;
        [[NSWorkspace sharedWorkspace]
            openApplicationAtURL:url
                   configuration:configuration
               completionHandler:^(NSRunningApplication *, NSError *error) {
                   if (error)
                       promise->setException(std::make_exception_ptr(PlatformError{
                           QString::fromNSString(error.domain), qint64(error.code),
                           QString::fromNSString(error.localizedDescription)}));
                   promise->finish();
               }];
    }
    return future;
}

} // namespace Applications
