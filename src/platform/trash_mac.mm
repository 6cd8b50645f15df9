#include "base/PlatformError.h"
#include "base/TestHooks.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFileInfo>

#import <Foundation/Foundation.h>

#include <cerrno>
#include <optional>

namespace FileOps {

namespace {

// The file manager's NSError in Vantor's terms. Its underlying POSIX error, when it has one,
// decides the kind (so a refusal by App Management, EPERM, reads as a permission problem by
// cause); the system's own text goes into the details either way.
PlatformError trashError(const QString &path, NSError *error)
{
    const QString text = error ? QString::fromNSString(error.localizedDescription) : QString();
    NSError *underlying = error ? error.userInfo[NSUnderlyingErrorKey] : nil;
    int errnum = 0;
    if ([underlying.domain isEqualToString:NSPOSIXErrorDomain])
        errnum = int(underlying.code);
    else if ([error.domain isEqualToString:NSPOSIXErrorDomain])
        errnum = int(error.code);
    PlatformError failure = PlatformErrors::fileWrite(path, errnum ? errnum : EIO);
    if (!errnum) {
        // No POSIX cause: keep the file manager's own Cocoa code when it is one Vantor reads.
        const qint64 code = [error.domain isEqualToString:NSCocoaErrorDomain] ? qint64(error.code) : 0;
        failure.errnum = 0;
        failure.code = code == CocoaCode::fileWriteNoPermission || code == CocoaCode::fileWriteOutOfSpace
                               || code == CocoaCode::fileNoSuchFile
                           ? code
                           : CocoaCode::fileWriteUnknown;
    }
    if (!text.isEmpty()) {
        failure.description = path + QStringLiteral(": ") + text;
        if (underlying && underlying != error)
            failure.description += QStringLiteral(" (") + QString::fromNSString(underlying.localizedDescription)
                                   + QStringLiteral(")");
    }
    return failure;
}

} // namespace

// The Finder's own Trash, through the file manager (so the item can be put back from the Trash).
void moveToTrash(const QString &path)
{
    if (!exists(path))
        throw PlatformErrors::fileWrite(path, ENOENT);
    if (DemoFlag::isSet() || TestHooks::inTest()) {
        // The file manager's Trash is the user's whatever HOME says: the demo's sandbox and a
        // test's home keep a Trash of their own.
        const QString trash = QDir::home().filePath(QStringLiteral(".Trash"));
        makePath(trash);
        const QString name = QFileInfo(path).fileName();
        QString target = QDir(trash).filePath(name);
        for (int n = 2; exists(target); ++n)
            target = QDir(trash).filePath(QStringLiteral("%1 %2").arg(name).arg(n));
        moveItem(path, target);
        return;
    }
    // Thrown after the pool is drained: an exception mustn't leave through @autoreleasepool.
    std::optional<PlatformError> failure;
    @autoreleasepool {
        NSURL *url = [NSURL fileURLWithPath:path.toNSString()];
        NSError *error = nil;
        if (![NSFileManager.defaultManager trashItemAtURL:url resultingItemURL:nil error:&error])
            failure = trashError(path, error);
    }
    if (failure)
        throw *failure;
}

} // namespace FileOps
