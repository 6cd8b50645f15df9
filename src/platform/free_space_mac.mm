#include "platform/FileUtil.h"

#import <Foundation/Foundation.h>

namespace FileUtil {

// The room the system would make for an app the user is installing: purgeable space counts.
std::optional<qint64> freeSpace(const QString &path)
{
    @autoreleasepool {
        NSURL *url = [NSURL fileURLWithPath:path.toNSString()];
        NSNumber *available = nil;
        if (![url getResourceValue:&available forKey:NSURLVolumeAvailableCapacityForImportantUsageKey error:nil]
            || !available)
            return std::nullopt;
        return qint64(available.longLongValue);
    }
}

} // namespace FileUtil
