#include "install/VersionChecker.h"

#include "base/Paths.h"
#include "platform/BundleInfo.h"
#include "platform/Host.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <limits>

namespace VersionChecker {

namespace {

// The identifier names OpenEmu's settings and caches files, so it goes into paths: only a plain
// name (letters, digits, ".", "-", "_") is taken; a release controls this value.
bool isOpenEmuIdentifier(const QString &identifier)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._-]+$"));
    return identifier.toLower().contains(QStringLiteral("openemu")) && plain.match(identifier).hasMatch()
           && identifier != QStringLiteral(".") && identifier != QStringLiteral("..");
}

QFileInfoList openEmuNamed(const QString &folder)
{
    QFileInfoList named;
    for (const QFileInfo &entry : QDir(folder).entryInfoList(
             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        if (entry.suffix() == QStringLiteral("app") && entry.fileName().toLower().startsWith(QStringLiteral("openemu")))
            named.append(entry);
    }
    return named;
}

std::optional<InstalledApp> findIn(const QString &folder)
{
    for (const QFileInfo &entry : openEmuNamed(folder)) {
        const auto meta = BundleInfo::read(entry.filePath());
        if (!meta || !meta->identifier || !isOpenEmuIdentifier(*meta->identifier))
            continue;
        return InstalledApp{entry.filePath(), meta->shortVersion.value_or(QStringLiteral("unknown")),
                            *meta->identifier};
    }
    return std::nullopt;
}

} // namespace

std::optional<InstalledApp> findInstalled()
{
    for (const QString &folder : {Paths::systemApplications(), Paths::userApplications()}) {
        if (auto app = findIn(folder))
            return app;
    }
    return std::nullopt;
}

std::optional<QString> findBundle()
{
    for (const QString &folder : {Paths::systemApplications(), Paths::userApplications()}) {
        for (const QFileInfo &entry : openEmuNamed(folder)) {
            if (entry.isDir() && !entry.isSymLink())
                return entry.filePath();
        }
    }
    return std::nullopt;
}

std::optional<QString> version(const QString &bundlePath)
{
    const auto meta = BundleInfo::read(bundlePath);
    return meta ? meta->shortVersion : std::nullopt;
}

QStringList numberTexts(const QString &text)
{
    QString trimmed = text;
    while (!trimmed.isEmpty() && (trimmed.front() == QLatin1Char(' ') || trimmed.front() == QLatin1Char('\t')))
        trimmed.remove(0, 1);
    while (!trimmed.isEmpty() && (trimmed.back() == QLatin1Char(' ') || trimmed.back() == QLatin1Char('\t')))
        trimmed.chop(1);
    if (trimmed.startsWith(QLatin1Char('v'), Qt::CaseInsensitive))
        trimmed.remove(0, 1);

    QStringList result;
    QString run;
    auto flush = [&] {
        // Leading zeros say nothing of the number: "007" is 7.
        qsizetype first = 0;
        while (first + 1 < run.size() && run[first] == QLatin1Char('0'))
            ++first;
        result.append(run.mid(first));
        run.clear();
    };
    for (const QChar c : std::as_const(trimmed)) {
        // ASCII digits only: other scripts' digits are not version numbers.
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            run.append(c);
        else if (!run.isEmpty())
            flush();
    }
    if (!run.isEmpty())
        flush();
    return result;
}

QList<qint64> numbers(const QString &text)
{
    QList<qint64> result;
    for (const QString &part : numberTexts(text)) {
        bool ok = false;
        const qint64 value = part.toLongLong(&ok);
        result.append(ok ? value : std::numeric_limits<qint64>::max());
    }
    return result;
}

Ordering compare(const QString &installed, const QString &latest)
{
    // Compared as digit strings, so that a part too large for any integer type still counts:
    // the longer one (without leading zeros) is larger, else the first that differs decides.
    const QStringList a = numberTexts(installed);
    const QStringList b = numberTexts(latest);
    const qsizetype n = std::max(a.size(), b.size());
    const QString zero = QStringLiteral("0");
    for (qsizetype i = 0; i < n; ++i) {
        const QString &x = i < a.size() ? a[i] : zero;
        const QString &y = i < b.size() ? b[i] : zero;
        if (x.size() != y.size())
            return x.size() < y.size() ? Ordering::ascending : Ordering::descending;
        if (const int order = QString::compare(x, y); order != 0)
            return order < 0 ? Ordering::ascending : Ordering::descending;
    }
    return Ordering::same;
}

QList<RunningApp> runningInstances()
{
    QList<RunningApp> result;
    for (const RunningApp &app : RunningApps::list()) {
        if (isOpenEmuIdentifier(app.bundleID))
            result.append(app);
    }
    return result;
}

QString macVersionString()
{
    const Host::OSVersion v = Host::macOSVersion();
    return QStringLiteral("%1.%2.%3").arg(v.major).arg(v.minor).arg(v.patch);
}

bool meetsMacOSRequirement()
{
    return Host::macOSVersion().major >= minimumMacOSMajor;
}

bool isAppleSilicon()
{
    return Host::isAppleSilicon();
}

} // namespace VersionChecker
