#include "platform/AppPreferences.h"

#include "base/TestHooks.h"
#include "platform/BundleInfo.h"
#include "platform/FileOps.h"
#include "platform/ProcessRunner.h"

#include <QFileInfo>
#include <QStringList>

#include <cstdlib>
#include <memory>

namespace AppPreferences {

namespace {

constexpr qint64 maxPreferencesBytes = 4 * 1024 * 1024;

// What the tool printed, or nothing when there is no tool or it failed.
QString defaults(const QStringList &arguments)
{
    // The demo's sandbox has only its own plist files; the service ignores HOME and would read
    // and write the user's real settings.
    if (DemoFlag::isSet())
        return {};
    QString tool = TestHooks::variable("VANTOR_DEFAULTS_TOOL");
    if (tool.isEmpty()) {
        // For the same reason a test never reaches the real tool: one that would is stopped here.
        if (TestHooks::inTest())
            qFatal("a test would run the real preferences tool: give it a stand-in (VANTOR_DEFAULTS_TOOL)");
        tool = QStringLiteral("/usr/bin/defaults");
    }
    if (!QFileInfo(tool).isExecutable())
        return {};
    try {
        return ProcessRunner::run(tool, arguments);
    } catch (...) {
        // A domain the service doesn't know (never set, already gone) is nothing to tell it.
        return {};
    }
}

} // namespace

QMap<QString, std::optional<QString>> strings(const QString &domain, const QString &file)
{
    auto found = BundleInfo::stringsOf(defaults({QStringLiteral("export"), domain, QStringLiteral("-")}).toUtf8());
    if (found.isEmpty())
        found = BundleInfo::stringsOf(
            FileOps::readRegularFile(file, maxPreferencesBytes, FileOps::Links::follow).value_or(QByteArray()));
    return found;
}

void exportTo(const QString &domain, const QString &file)
{
    defaults({QStringLiteral("export"), domain, file});
}

void importFrom(const QString &domain, const QString &file)
{
    defaults({QStringLiteral("import"), domain, file});
}

void forget(const QString &domain)
{
    defaults({QStringLiteral("delete"), domain});
}

} // namespace AppPreferences
