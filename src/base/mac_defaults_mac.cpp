#include "base/MacDefaults.h"

#include <CoreFoundation/CoreFoundation.h>

namespace MacDefaults {

namespace {

const CFStringRef domain = CFSTR("app.vantor.Vantor");

// Releases a Core Foundation object it was given when it goes out of scope.
struct Owned
{
    CFTypeRef ref = nullptr;
    ~Owned()
    {
        if (ref)
            CFRelease(ref);
    }
};

QVariant fromPropertyList(CFPropertyListRef value)
{
    if (!value)
        return {};
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID())
        return QString::fromCFString(static_cast<CFStringRef>(value));
    if (type == CFBooleanGetTypeID())
        return bool(CFBooleanGetValue(static_cast<CFBooleanRef>(value)));
    if (type == CFNumberGetTypeID()) {
        long long number = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberLongLongType, &number);
        return qint64(number);
    }
    if (type == CFDataGetTypeID())
        return QByteArray::fromCFData(static_cast<CFDataRef>(value));
    return {};
}

CFPropertyListRef toPropertyList(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool: return CFRetain(value.toBool() ? kCFBooleanTrue : kCFBooleanFalse);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        const long long number = value.toLongLong();
        return CFNumberCreate(kCFAllocatorDefault, kCFNumberLongLongType, &number);
    }
    case QMetaType::QByteArray: return value.toByteArray().toCFData();
    default: return value.toString().toCFString();
    }
}

} // namespace

QVariant value(const QString &key)
{
    const Owned name{key.toCFString()};
    const Owned stored{CFPreferencesCopyAppValue(static_cast<CFStringRef>(name.ref), domain)};
    return fromPropertyList(stored.ref);
}

void setValue(const QString &key, const QVariant &value)
{
    const Owned name{key.toCFString()};
    const Owned stored{value.isValid() ? toPropertyList(value) : nullptr};
    CFPreferencesSetAppValue(static_cast<CFStringRef>(name.ref), stored.ref, domain);
    CFPreferencesAppSynchronize(domain);
}

} // namespace MacDefaults
