#include "Commands.h"

#include "app/AppModel.h"
#include "release/GitHubReleases.h"

#include <QJsonArray>

namespace Commands {

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

QCoro::Task<int> status(AppModel &model, CliOutput::Options options)
{
    const QJsonObject object = CliOutput::statusJson(model);
    const auto &error = model.error();
    if (options.json) {
        QJsonObject withError = object;
        if (error)
            withError.insert(QStringLiteral("error"), CliOutput::errorJson(*error).value(QStringLiteral("error")));
        CliOutput::printJson(withError);
    } else {
        const QJsonObject host = object.value(QStringLiteral("host")).toObject();
        CliOutput::printLine(QStringLiteral("macOS: %1 (macOS 11 or later: %2, Apple silicon: %3)")
                                 .arg(host.value(QStringLiteral("macVersion")).toString(),
                                      yesNo(host.value(QStringLiteral("macOSRequirement")).toBool()),
                                      yesNo(host.value(QStringLiteral("appleSilicon")).toBool())));
        if (const auto &app = model.installed())
            CliOutput::printLine(
                QStringLiteral("Installed: OpenEmu %1 at %2 (%3)").arg(app->version, app->url, app->bundleID));
        else
            CliOutput::printLine(QStringLiteral("Installed: not found"));
        CliOutput::printLine(QStringLiteral("Previous version kept: %1").arg(yesNo(model.hasPrevious())));
        CliOutput::printLine(QStringLiteral("Latest release: %1")
                                 .arg(model.latest() ? model.latest()->tagName : QStringLiteral("unknown")));
        CliOutput::printLine(QStringLiteral("Update available: %1").arg(yesNo(model.updateAvailable())));
    }
    if (error) {
        // The status is still worth printing offline; the failed check is reported beside it.
        CliOutput::printError(*error, {false, options.verbose});
        co_return failure;
    }
    co_return success;
}

QCoro::Task<int> latest(AppModel &model, CliOutput::Options options)
{
    if (const auto &error = model.error()) {
        CliOutput::printError(*error, options);
        co_return failure;
    }
    if (!model.latest()) {
        CliOutput::printError(FriendlyError(QStringLiteral("No release information is available.")), options);
        co_return failure;
    }
    const Release release = *model.latest();
    const auto picked = GitHubReleases::pickAsset(release);
    std::optional<QString> checksum;
    if (picked)
        checksum = co_await GitHubReleases::expectedChecksum(model.network(), release, *picked);

    const QJsonObject object = CliOutput::releaseJson(release, picked, checksum);
    if (options.json) {
        CliOutput::printJson(object);
        co_return success;
    }
    CliOutput::printLine(
        QStringLiteral("Latest release: %1%2")
            .arg(release.tagName, release.name ? QStringLiteral(" (%1)").arg(*release.name) : QString()));
    if (release.publishedAt)
        CliOutput::printLine(QStringLiteral("Published: %1").arg(*release.publishedAt));
    if (release.htmlUrl)
        CliOutput::printLine(QStringLiteral("Page: %1").arg(*release.htmlUrl));
    CliOutput::printLine(QStringLiteral("Files:"));
    for (const ReleaseAsset &asset : release.assets)
        CliOutput::printLine(QStringLiteral("  %1 (%2 bytes)").arg(asset.name).arg(asset.size));
    CliOutput::printLine(QStringLiteral("Would install: %1")
                             .arg(picked ? picked->name : QStringLiteral("nothing (no disk image or zip)")));
    if (picked)
        CliOutput::printLine(QStringLiteral("Published SHA-256: %1").arg(checksum.value_or(QStringLiteral("none"))));
    co_return success;
}

} // namespace Commands
