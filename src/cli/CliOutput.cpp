#include "cli/CliOutput.h"

#include "app/AppModel.h"
#include "base/Paths.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace CliOutput {

namespace {

QJsonValue orNull(const std::optional<QString> &text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

void write(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

QJsonObject releaseJson(const Release &release, const std::optional<ReleaseAsset> &picked,
                        const std::optional<QString> &checksum)
{
    QJsonArray assets;
    for (const ReleaseAsset &asset : release.assets) {
        assets.append(QJsonObject{
            {QStringLiteral("name"), asset.name},
            {QStringLiteral("size"), asset.size},
            {QStringLiteral("browserDownloadUrl"),
             asset.browserDownloadUrl ? QJsonValue(asset.browserDownloadUrl->toString()) : QJsonValue()},
            {QStringLiteral("digest"), orNull(asset.digest)},
        });
    }
    return QJsonObject{
        {QStringLiteral("tagName"), release.tagName},
        {QStringLiteral("name"), orNull(release.name)},
        {QStringLiteral("body"), orNull(release.body)},
        {QStringLiteral("htmlUrl"), orNull(release.htmlUrl)},
        {QStringLiteral("publishedAt"), orNull(release.publishedAt)},
        {QStringLiteral("assets"), assets},
        {QStringLiteral("pickedAsset"), picked ? QJsonValue(picked->name) : QJsonValue()},
        {QStringLiteral("expectedChecksum"), orNull(checksum)},
    };
}

QJsonObject statusJson(const AppModel &model)
{
    QJsonValue installed;
    if (const auto &app = model.installed()) {
        installed = QJsonObject{
            {QStringLiteral("path"), app->url},
            {QStringLiteral("version"), app->version},
            {QStringLiteral("bundleID"), app->bundleID},
        };
    }
    const HostStatus host = model.host();
    return QJsonObject{
        {QStringLiteral("host"),
         QJsonObject{
             {QStringLiteral("macVersion"), host.macOSVersion},
             {QStringLiteral("macOSRequirement"), host.meetsMacOS},
             {QStringLiteral("appleSilicon"), host.appleSilicon},
         }},
        {QStringLiteral("installed"), installed},
        {QStringLiteral("hasPrevious"), model.hasPrevious()},
        {QStringLiteral("bundleID"), Paths::bundleID()},
        {QStringLiteral("latest"), model.latest() ? QJsonValue(model.latest()->tagName) : QJsonValue()},
        // Unknown (null) when the release couldn't be read, rather than a "no" nobody checked.
        {QStringLiteral("updateAvailable"), model.latest() ? QJsonValue(model.updateAvailable()) : QJsonValue()},
        {QStringLiteral("skippedVersion"), orNull(model.skippedVersion())},
        {QStringLiteral("autoBackupBeforeUpdate"), model.autoBackupBeforeUpdate()},
    };
}

QJsonObject errorJson(const FriendlyError &error)
{
    return QJsonObject{{QStringLiteral("error"), QJsonObject{{QStringLiteral("message"), error.message},
                                                             {QStringLiteral("details"), error.details}}}};
}

QJsonObject tidyJson(const AppModel &model)
{
    QJsonArray rows;
    for (const TidyRow &row : model.tidyRows()) {
        rows.append(QJsonObject{{QStringLiteral("id"), row.id},
                                {QStringLiteral("title"), row.title},
                                {QStringLiteral("path"), row.url},
                                {QStringLiteral("size"), row.size},
                                {QStringLiteral("exists"), row.exists},
                                {QStringLiteral("reachable"), row.reachable},
                                {QStringLiteral("refused"), row.refused}});
    }
    return QJsonObject{{QStringLiteral("rows"), rows}};
}

void printJson(const QJsonObject &object)
{
    write(stdout, QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

void printNotice(const QString &notice, const Options &options)
{
    if (options.json)
        printJson({{QStringLiteral("notice"), notice}});
    else
        printLine(notice);
}

QString printable(const QString &text)
{
    // Release names and notes come from the network: no escape sequence reaches the terminal.
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\t' || (u >= 0x20 && u != 0x7f && (u < 0x80 || u > 0x9f)))
            clean.append(c);
    }
    return clean;
}

void printLine(const QString &line)
{
    write(stdout, printable(line).toUtf8() + '\n');
}

void printError(const FriendlyError &error, const Options &options)
{
    QString text = error.message + QLatin1Char('\n');
    if (options.verbose && !error.details.isEmpty())
        text += error.details + QLatin1Char('\n');
    write(stderr, printable(text).toUtf8());
    if (options.json)
        printJson(errorJson(error));
}

} // namespace CliOutput
