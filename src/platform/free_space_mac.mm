#include "platform/FileUtil.h"

#import <Foundation/Foundation.h>

namespace FileUtil {

namespace {

std::optional<qint64> number(NSURL *url, NSURLResourceKey key)
{
    NSNumber *value = nil;
    if (![url getResourceValue:&value forKey:key error:nil] || !value)
        return std::nullopt;
    return qint64(value.longLongValue);
}

bool flag(NSURL *url, NSURLResourceKey key)
{
    const auto value = number(url, key);
    return value && *value != 0;
}

} // namespace

// The room the system would make for something the user asked for: purgeable space counts. That
// figure is 0 on volumes that aren't APFS (an exFAT or HFS+ drive) and when no user is logged in,
// and means nothing for a removable drive: there the plain free space is the answer.
std::optional<qint64> freeSpace(const QString &path)
{
    @autoreleasepool {
        NSURL *url = [NSURL fileURLWithPath:path.toNSString()];
        const bool removable = flag(url, NSURLVolumeIsRemovableKey) || flag(url, NSURLVolumeIsEjectableKey);
        if (!removable) {
            if (const auto important = number(url, NSURLVolumeAvailableCapacityForImportantUsageKey);
                important && *important > 0)
                return important;
        }
        return number(url, NSURLVolumeAvailableCapacityKey);
    }
}

} // namespace FileUtil
