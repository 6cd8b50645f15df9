// The signature check shared by both systems: it runs whichever codesign and spctl this system
// has (or the ones a test names), and judges their answers the same way.

#include "base/FriendlyError.h"
#include "base/TestHooks.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemTools.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace SystemTools {

namespace {

const QString invalid = QStringLiteral("The downloaded app's signature isn't valid, so it was not installed.");

QString toolPath(const QString &name, const QString &systemPath)
{
    const QString tools = TestHooks::variable("VANTOR_SIGNATURE_TOOLS");
    if (!tools.isEmpty())
        return QDir(tools).filePath(name);
    return systemPath;
}

// The Team ID `codesign -dv` reports, or none for an unsigned (or ad-hoc signed) app.
std::optional<QString> teamOf(const QString &codesign, const QString &app)
{
    try {
        const QString description = ProcessRunner::run(codesign, {QStringLiteral("-dv"), app});
        static const QRegularExpression team(QStringLiteral("TeamIdentifier=(\\S+)"));
        const auto match = team.match(description);
        if (match.hasMatch() && match.captured(1) != QStringLiteral("not"))
            return match.captured(1);
    } catch (...) {
    }
    return std::nullopt;
}

} // namespace

Signature checkSignature(const QString &app, const std::optional<QString> &installed)
{
    const QString codesign = toolPath(QStringLiteral("codesign"), QStringLiteral("/usr/bin/codesign"));
    const QString spctl = toolPath(QStringLiteral("spctl"), QStringLiteral("/usr/sbin/spctl"));
    if (!QFileInfo(codesign).isExecutable() || !QFileInfo(spctl).isExecutable())
        return Signature::uncheckable;
    try {
        ProcessRunner::run(codesign,
                           {QStringLiteral("--verify"), QStringLiteral("--deep"), QStringLiteral("--strict"), app});
        ProcessRunner::run(spctl,
                           {QStringLiteral("--assess"), QStringLiteral("--type"), QStringLiteral("execute"), app});
    } catch (const FriendlyError &e) {
        throw FriendlyError(invalid, e.details); // what the tool said
    }
    if (installed) {
        const auto now = teamOf(codesign, *installed);
        const auto next = teamOf(codesign, app);
        if (now && next && *now != *next)
            throw FriendlyError(
                invalid, QStringLiteral("Installed app's Team ID: %1\nDownloaded app's Team ID: %2").arg(*now, *next));
    }
    return Signature::valid;
}

} // namespace SystemTools
