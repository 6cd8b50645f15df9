#include "platform/AppPreferences.h"

#include "base/TestHooks.h"
#include "platform/ProcessRunner.h"

#include <QFileInfo>
#include <QStringList>

namespace AppPreferences {

namespace {

void defaults(const QStringList &arguments)
{
    QString tool = TestHooks::variable("VANTOR_DEFAULTS_TOOL");
    if (tool.isEmpty())
        tool = QStringLiteral("/usr/bin/defaults");
    if (!QFileInfo(tool).isExecutable())
        return;
    try {
        ProcessRunner::run(tool, arguments);
    } catch (...) {
        // A domain the service doesn't know (never set, already gone) is nothing to tell it.
    }
}

} // namespace

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
