#include "release/GitHubReleases.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "release/HttpGet.h"
#include "release/ReleaseDecoder.h"

#include "base/Paths.h"
#include "platform/AddressPolicy.h"
#include "platform/FileOps.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>

#include <qcoro/qcorofuture.h>

namespace GitHubReleases {

namespace {

const QString formatMessage = QStringLiteral("The release information came back in a format we didn't expect.");

QString excerpt(const QByteArray &body)
{
    return QString::fromUtf8(body.left(500));
}

bool isHexDigits(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]*$"));
    return hex.match(text).hasMatch();
}

// "Try again after HH:MM." from the reply's X-RateLimit-Reset (a Unix time) or Retry-After
// (seconds), as a last line of the details; nothing when the reply has neither.
QString retryHint(const HttpGet::Response &response)
{
    QDateTime when;
    bool ok = false;
    if (const qint64 reset = response.header("X-RateLimit-Reset").toLongLong(&ok); ok && reset > 0)
        when = QDateTime::fromSecsSinceEpoch(reset);
    else if (const qint64 after = response.header("Retry-After").toLongLong(&ok); ok && after >= 0)
        when = QDateTime::currentDateTime().addSecs(after);
    if (!when.isValid())
        return {};
    return QStringLiteral("\nTry again after %1.")
        .arg(QLocale::c().toString(when.toLocalTime(), QStringLiteral("HH:mm")));
}

// The last good feed reply and its ETag, in Vantor's caches, for the address it came from.
struct FeedCache
{
    QByteArray etag;
    QByteArray body;

    static QString folder() { return QDir(Paths::vantorCachesFolder()).filePath(QStringLiteral("release")); }
    static QString key(const QString &url)
    {
        return QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    }
    // The kept reply, when both its files are regular files, the ETag is one header value and the
    // body is a JSON object. Anything else is dropped, and the release is fetched afresh.
    static FeedCache forUrl(const QString &url)
    {
        const QString etagPath = QDir(folder()).filePath(key(url) + QStringLiteral(".etag"));
        const QString bodyPath = QDir(folder()).filePath(key(url) + QStringLiteral(".json"));
        if (!FileOps::exists(etagPath) && !FileOps::exists(bodyPath))
            return {};
        const QByteArray etag = FileOps::readRegularFile(etagPath, 1024).value_or(QByteArray()).trimmed();
        const QByteArray body = FileOps::readRegularFile(bodyPath, maxFeedBytes).value_or(QByteArray());
        if (etag.isEmpty() || etag.contains('\r') || etag.contains('\n') || !QJsonDocument::fromJson(body).isObject()) {
            FileOps::removeItem(etagPath);
            FileOps::removeItem(bodyPath);
            return {};
        }
        return {etag, body};
    }
    static void store(const QString &url, const QByteArray &etag, const QByteArray &body)
    {
        if (etag.isEmpty() || etag.contains('\r') || etag.contains('\n'))
            return; // nothing that could become a second header line is ever sent back
        try {
            FileOps::makeOwnFolder(Paths::vantorCachesFolder(), folder());
            FileOps::replaceFile(QDir(folder()).filePath(key(url) + QStringLiteral(".json")), body);
            FileOps::replaceFile(QDir(folder()).filePath(key(url) + QStringLiteral(".etag")), etag);
        } catch (...) {
            // Not kept: the next check fetches the whole reply again.
        }
    }
};

} // namespace

QString configuredFeedUrl()
{
    const QString configured = qEnvironmentVariable("VANTOR_FEED_URL");
    return configured.isEmpty() ? defaultFeedUrl : configured;
}

QCoro::Task<Release> fetchLatest(QNetworkAccessManager &network, QString feedUrl, std::chrono::milliseconds deadline)
{
    const QUrl url(feedUrl, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        throw FriendlyError(QStringLiteral("The release address is invalid."), feedUrl);

    // Courtesy toward GitHub's limits: the last good reply is kept with its ETag, and a 304 reuses
    // it; a token from the environment goes only to the feed's own origin, over https or loopback.
    HttpGet::Headers headers;
    const FeedCache cache = FeedCache::forUrl(feedUrl);
    if (!cache.etag.isEmpty())
        headers.append({"If-None-Match", cache.etag});
    QByteArray token = qgetenv("GH_TOKEN");
    if (token.isEmpty())
        token = qgetenv("GITHUB_TOKEN");
    // A token with a line break would add a header of its own: such a value is never sent.
    if (token.contains('\r') || token.contains('\n'))
        token.clear();
    if (!token.isEmpty() && (url.scheme() == QStringLiteral("https") || AddressPolicy::isLoopback(url)))
        headers.append({"Authorization", "Bearer " + token});

    auto fetching = HttpGet::get(network, url, maxFeedBytes, AddressPolicy::Hosts::same, deadline, headers);
    HttpGet::Response response = co_await std::move(fetching);
    if (response.status == 304 && !cache.body.isEmpty()) {
        response.status = 200;
        response.body = cache.body;
    } else if (response.status == 200 && !response.truncated) {
        FeedCache::store(feedUrl, response.header("ETag"), response.body);
    }

    if (response.status != 0 && response.status != 200) {
        const QString status = QString::number(response.status);
        if (response.status == 403 || response.status == 429)
            throw FriendlyError(QStringLiteral("GitHub is limiting requests from this network right now. "
                                               "Wait a few minutes and try again."),
                                QStringLiteral("HTTP ") + status + QLatin1Char('\n') + excerpt(response.body)
                                    + retryHint(response));
        throw FriendlyError(QStringLiteral("GitHub couldn't give us the latest release (error %1).").arg(status),
                            excerpt(response.body));
    }
    if (response.truncated)
        throw FriendlyError(formatMessage, QStringLiteral("The reply was larger than %1 MiB and was not read further.")
                                               .arg(maxFeedBytes / (1024 * 1024)));

    // Decoding a large reply is real work; keep it off the main thread. (The future is a named
    // variable: g++ 12 destroys temporaries of a co_await operand twice.)
    QFuture<std::variant<Release, QString>> decoding
        = QtConcurrent::run([body = response.body]() -> std::variant<Release, QString> {
              try {
                  return ReleaseDecoder::decode(body);
              } catch (const ReleaseDecoder::DecodingError &e) {
                  return e.description;
              }
          });
    auto decoded = co_await decoding;
    if (auto *problem = std::get_if<QString>(&decoded))
        throw FriendlyError(formatMessage, *problem);
    co_return std::get<Release>(std::move(decoded));
}

QCoro::Task<std::optional<Release>> fetchNewestWithApp(QNetworkAccessManager &network, QString feedUrl)
{
    if (!feedUrl.endsWith(QStringLiteral("/latest")))
        co_return std::nullopt;
    const QUrl url(feedUrl.chopped(7) + QStringLiteral("?per_page=20"), QUrl::StrictMode);
    try {
        auto fetching = HttpGet::get(network, url, maxFeedBytes);
        const HttpGet::Response response = co_await std::move(fetching);
        if (response.status != 200 || response.truncated)
            co_return std::nullopt;
        for (const Release &release : ReleaseDecoder::decodeList(response.body)) {
            if (!release.draft && !release.prerelease && pickAsset(release))
                co_return release;
        }
    } catch (...) {
    }
    co_return std::nullopt;
}

std::optional<ReleaseAsset> pickAsset(const Release &release)
{
    // The project publishes core updates as releases of their own ("cores-v1.2.0", assets
    // "<Core>.oecoreplugin.zip"): neither they nor a core's zip is ever the app.
    if (release.tagName.startsWith(QStringLiteral("cores-"), Qt::CaseInsensitive))
        return std::nullopt;
    for (const QString &ending : {QStringLiteral(".dmg"), QStringLiteral(".zip")}) {
        for (const ReleaseAsset &asset : release.assets) {
            const QString name = asset.name.toLower();
            if (asset.browserDownloadUrl && name.endsWith(ending)
                && !name.endsWith(QStringLiteral(".oecoreplugin.zip")))
                return asset;
        }
    }
    return std::nullopt;
}

std::optional<QString> findChecksumWord(const QByteArray &text)
{
    static const QRegularExpression separators(QStringLiteral("[ \\n\\t]"));
    const QStringList pieces = QString::fromUtf8(text).split(separators, Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        const QString lower = piece.toLower();
        if (lower.size() == 64 && isHexDigits(lower))
            return lower;
    }
    return std::nullopt;
}

QCoro::Task<std::optional<QString>> expectedChecksum(QNetworkAccessManager &network, Release release,
                                                     ReleaseAsset asset)
{
    if (asset.digest) {
        QString digest = asset.digest->toLower();
        if (digest.startsWith(QStringLiteral("sha256:")))
            digest.remove(0, 7);
        if (digest.size() == 64)
            co_return digest;
    }

    const QString prefix = asset.name.toLower();
    const ReleaseAsset *checksumAsset = nullptr;
    for (const ReleaseAsset &candidate : release.assets) {
        const QString name = candidate.name.toLower();
        if (name.startsWith(prefix)
            && (name.endsWith(QStringLiteral(".sha256")) || name.endsWith(QStringLiteral(".sha256sum")))) {
            checksumAsset = &candidate;
            break;
        }
    }
    if (!checksumAsset || !checksumAsset->browserDownloadUrl)
        co_return std::nullopt;

    // A checksum the project published and that can't be had is not "no checksum": installing
    // unchecked then would let whoever blocks that one file skip the check.
    const QUrl url = *checksumAsset->browserDownloadUrl;
    const auto unreadable = [&](const QString &why) {
        return FriendlyError(QStringLiteral("The release's checksum file couldn't be read, so nothing was installed."),
                             url.toDisplayString() + QLatin1Char('\n') + why);
    };
    QString why;
    try {
        auto fetching = HttpGet::get(network, url, maxChecksumFileBytes, AddressPolicy::Hosts::any);
        const HttpGet::Response response = co_await std::move(fetching);
        if (response.status < 200 || response.status > 299)
            why = QStringLiteral("HTTP status %1").arg(response.status);
        else if (const auto word = findChecksumWord(response.body))
            co_return word;
        else
            why = QStringLiteral("It holds no SHA-256 checksum.");
    } catch (const PlatformError &e) {
        why = e.description;
    } catch (const FriendlyError &e) {
        why = e.message + (e.details.isEmpty() ? QString() : QLatin1Char('\n') + e.details);
    }
    throw unreadable(why);
}

} // namespace GitHubReleases
