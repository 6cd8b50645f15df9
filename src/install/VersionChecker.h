#pragma once

#include "install/InstalledApp.h"
#include "platform/RunningApps.h"

#include <QList>
#include <QStringList>

#include <optional>

// Where OpenEmu is installed, which version it is, whether it runs, and whether this Mac can
// run it at all.
namespace VersionChecker {

inline constexpr int minimumMacOSMajor = 11;

// The first OpenEmu bundle in the system Applications folder, then in ~/Applications.
std::optional<InstalledApp> findInstalled();

// An OpenEmu-named app bundle in the Applications folders, working or not (a broken one has no
// Info.plist that can be read): what a rollback swaps out when findInstalled() finds nothing.
std::optional<QString> findBundle();

// The bundle's CFBundleShortVersionString, or none.
std::optional<QString> version(const QString &bundlePath);

enum class Ordering { ascending, same, descending };

// Numeric comparison of two version texts; missing trailing parts count as zero.
Ordering compare(const QString &installed, const QString &latest);

// The integers of a version text, after a leading "v" is dropped: "v1.2.3-beta4" gives 1,2,3,4.
// A part too large for 64 bits is given as the largest value.
QList<qint64> numbers(const QString &text);
// The same parts as digit strings without leading zeros: what compare() compares.
QStringList numberTexts(const QString &text);

// Running applications whose bundle identifier contains "openemu", in any case.
QList<RunningApp> runningInstances();

// The system version as "major.minor.patch".
QString macVersionString();
bool meetsMacOSRequirement();
bool isAppleSilicon();

} // namespace VersionChecker
