#include "platform/Workspace.h"

#import <AppKit/AppKit.h>

#include <QDesktopServices>

void SystemWorkspace::reveal(const QString &path)
{
    @autoreleasepool {
        NSURL *url = [NSURL fileURLWithPath:path.toNSString()];
        [[NSWorkspace sharedWorkspace] activateFileViewerSelectingURLs:@[ url ]];
    }
}

void SystemWorkspace::open(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}
