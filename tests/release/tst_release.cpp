#include "Await.h"
#include "FeedServer.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "release/GitHubReleases.h"
#include "release/ReleaseDecoder.h"

#include <QNetworkAccessManager>
#include <QtTest>

using TestSupport::await;

namespace {

QByteArray asset(const QByteArray &name, const QByteArray &url = "\"https://example.com/f\"",
                 const QByteArray &size = "10", const QByteArray &extra = {})
{
    return "{\"name\":\"" + name + "\",\"size\":" + size + ",\"browser_download_url\":" + url + extra + "}";
}

QByteArray release(const QByteArray &assets, const QByteArray &extra = {})
{
    return "{\"tag_name\":\"v1.0.4\"" + extra + ",\"assets\":[" + assets + "]}";
}

ReleaseAsset makeAsset(const QString &name, std::optional<QUrl> url = QUrl(QStringLiteral("https://example.com/f")),
                       std::optional<QString> digest = std::nullopt)
{
    return ReleaseAsset{name, 10, std::move(url), std::move(digest)};
}

} // namespace

class ReleaseTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keyConversion_data();
    void keyConversion();
    void decodesFullRelease();
    void optionalMembersMayBeNullOrAbsent();
    void rejectsMalformedReleases_data();
    void rejectsMalformedReleases();
    void fetchSendsTheFeedRequest();
    void fetchReportsStatuses_data();
    void fetchReportsStatuses();
    void fetchRejectsOversizedReply();
    void fetchRejectsInvalidAddress();
    void fetchTransportFailureIsPlatformError();
    void pickAssetPrefersDiskImages();
    void checksumFromDigest_data();
    void checksumFromDigest();
    void checksumFromFile();
    void checksumWord_data();
    void checksumWord();

private:
    QNetworkAccessManager m_network;
};

void ReleaseTest::keyConversion_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("converted");
    QTest::newRow("tag") << "tag_name"
                         << "tagName";
    QTest::newRow("three pieces") << "browser_download_url"
                                  << "browserDownloadUrl";
    QTest::newRow("later pieces lower-cased") << "html_URL"
                                              << "htmlUrl";
    QTest::newRow("camel kept") << "tagName"
                                << "tagName";
    QTest::newRow("leading and trailing underscores") << "_tag_name__"
                                                      << "_tagName__";
    QTest::newRow("only outer underscores") << "_name_"
                                            << "_name_";
    QTest::newRow("double inner underscore") << "a__b"
                                             << "aB";
    QTest::newRow("all underscores") << "___"
                                     << "___";
}

void ReleaseTest::keyConversion()
{
    QFETCH(QString, key);
    QFETCH(QString, converted);
    QCOMPARE(ReleaseDecoder::convertFromSnakeCase(key), converted);
}

void ReleaseTest::decodesFullRelease()
{
    const QByteArray json = "{\"tag_name\":\"v1.0.4\",\"name\":\"OpenEmu 1.0.4\",\"body\":\"**New**\","
                            "\"html_url\":\"https://github.com/x\",\"published_at\":\"2026-01-02T03:04:05Z\","
                            "\"draft\":false,\"author\":{\"login\":\"x\"},\"assets\":["
                            + asset("OpenEmu.dmg", "\"https://example.com/OpenEmu.dmg\"", "9007199254740993",
                                    ",\"digest\":\"sha256:ab\",\"download_count\":[1]")
                            + "," + asset("OpenEmu.zip", "null") + "]}";
    const Release r = ReleaseDecoder::decode(json);
    QCOMPARE(r.tagName, QStringLiteral("v1.0.4"));
    QCOMPARE(r.name, QStringLiteral("OpenEmu 1.0.4"));
    QCOMPARE(r.body, QStringLiteral("**New**"));
    QCOMPARE(r.htmlUrl, QStringLiteral("https://github.com/x"));
    QCOMPARE(r.publishedAt, QStringLiteral("2026-01-02T03:04:05Z"));
    QCOMPARE(r.assets.size(), 2);
    // Integers beyond a double's exact range keep every digit.
    QCOMPARE(r.assets[0].size, Q_INT64_C(9007199254740993));
    QCOMPARE(r.assets[0].browserDownloadUrl, QUrl(QStringLiteral("https://example.com/OpenEmu.dmg")));
    QCOMPARE(r.assets[0].digest, QStringLiteral("sha256:ab"));
    QVERIFY(!r.assets[1].browserDownloadUrl);
    QVERIFY(!r.assets[1].digest);
}

void ReleaseTest::optionalMembersMayBeNullOrAbsent()
{
    const Release nulls = ReleaseDecoder::decode(
        "{\"tag_name\":\"1\",\"name\":null,\"body\":null,\"html_url\":null,\"published_at\":null,\"assets\":[]}");
    QVERIFY(!nulls.name && !nulls.body && !nulls.htmlUrl && !nulls.publishedAt);
    QVERIFY(nulls.assets.isEmpty());

    // A member already in camel case is matched as it stands.
    const Release camel = ReleaseDecoder::decode("{\"tagName\":\"v2\",\"assets\":[]}");
    QCOMPARE(camel.tagName, QStringLiteral("v2"));
}

void ReleaseTest::rejectsMalformedReleases_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("not json") << QByteArray("<html>") << "not valid JSON";
    QTest::newRow("top-level array") << QByteArray("[]") << "top level";
    QTest::newRow("no tag") << QByteArray("{\"assets\":[]}") << "tagName";
    QTest::newRow("tag not a string") << QByteArray("{\"tag_name\":1,\"assets\":[]}") << "tagName";
    QTest::newRow("no assets") << QByteArray("{\"tag_name\":\"v1\"}") << "assets";
    QTest::newRow("assets not an array") << QByteArray("{\"tag_name\":\"v1\",\"assets\":{}}") << "assets";
    QTest::newRow("name a number") << release({}, ",\"name\":5") << "name";
    QTest::newRow("fractional size") << release(asset("a.dmg", "null", "12.5")) << "assets[0].size";
    QTest::newRow("size as text") << release(asset("a.dmg", "null", "\"12\"")) << "assets[0].size";
    QTest::newRow("size beyond 64 bits") << release(asset("a.dmg", "null", "1e20")) << "assets[0].size";
    QTest::newRow("asset without name") << release("{\"size\":1}") << "assets[0].name";
    QTest::newRow("second asset bad") << release(asset("a.dmg") + ",{\"name\":\"b\"}") << "assets[1].size";
    QTest::newRow("address not an address") << release(asset("a.dmg", "\"not a url\"")) << "browserDownloadUrl";
    QTest::newRow("digest a number") << release(asset("a.dmg", "null", "1", ",\"digest\":7")) << "digest";
}

void ReleaseTest::rejectsMalformedReleases()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, mentions);
    try {
        ReleaseDecoder::decode(json);
        QFAIL("decoding should fail");
    } catch (const ReleaseDecoder::DecodingError &e) {
        QVERIFY2(e.description.contains(mentions), qPrintable(e.description));
    }
}

void ReleaseTest::fetchSendsTheFeedRequest()
{
    FeedServer server;
    server.json(QStringLiteral("/feed"), release(asset("OpenEmu.dmg")));
    const Release r = await(GitHubReleases::fetchLatest(m_network, server.urlText(QStringLiteral("/feed"))));
    QCOMPARE(r.tagName, QStringLiteral("v1.0.4"));
    QCOMPARE(server.hits(QStringLiteral("/feed")), 1);
    QCOMPARE(server.lastHeader(QStringLiteral("/feed"), "User-Agent"), QByteArray("Vantor"));
    QCOMPARE(server.lastHeader(QStringLiteral("/feed"), "Accept"), QByteArray("application/vnd.github+json"));
}

void ReleaseTest::fetchReportsStatuses_data()
{
    const QByteArray longBody = QByteArray(499, 'x') + "\xC3\xA9" + QByteArray(100, 'y');
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("details");
    const QString limited
        = QStringLiteral("GitHub is limiting requests from this network right now. Wait a few minutes and try again.");
    QTest::newRow("429") << 429 << QByteArray("slow down") << limited << "HTTP 429\nslow down";
    QTest::newRow("403") << 403 << QByteArray("{}") << limited << "HTTP 403\n{}";
    // The excerpt is 500 bytes, cutting a two-byte character in half.
    QTest::newRow("404 long body") << 404 << longBody << "GitHub couldn't give us the latest release (error 404)."
                                   << QString(QString(499, QLatin1Char('x')) + QChar(0xFFFD));
    QTest::newRow("500 empty") << 500 << QByteArray() << "GitHub couldn't give us the latest release (error 500)."
                               << QString();
    QTest::newRow("200 without tag") << 200 << QByteArray("{\"assets\":[]}")
                                     << "The release information came back in a format we didn't expect."
                                     << "Member \"tagName\": required member is missing.";
}

void ReleaseTest::fetchReportsStatuses()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    QFETCH(QString, details);
    FeedServer server;
    server.json(QStringLiteral("/feed"), body, status);
    try {
        await(GitHubReleases::fetchLatest(m_network, server.urlText(QStringLiteral("/feed"))));
        QFAIL("fetch should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, message);
        QCOMPARE(e.details, details);
    }
}

void ReleaseTest::fetchRejectsOversizedReply()
{
    FeedServer server;
    FeedServer::Route route;
    route.body = release({}, ",\"body\":\"" + QByteArray(GitHubReleases::maxFeedBytes, 'a') + "\"");
    route.withoutLength = true;
    server.route(QStringLiteral("/feed"), route);
    try {
        await(GitHubReleases::fetchLatest(m_network, server.urlText(QStringLiteral("/feed"))));
        QFAIL("fetch should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, QStringLiteral("The release information came back in a format we didn't expect."));
        QVERIFY2(e.details.contains(QStringLiteral("larger than 16 MiB")), qPrintable(e.details));
    }
}

void ReleaseTest::fetchRejectsInvalidAddress()
{
    for (const QString &address : {QStringLiteral("not an address"), QStringLiteral("http://")}) {
        try {
            await(GitHubReleases::fetchLatest(m_network, address));
            QFAIL("fetch should fail");
        } catch (const FriendlyError &e) {
            QCOMPARE(e.message, QStringLiteral("The release address is invalid."));
            QCOMPARE(e.details, address);
        }
    }
}

void ReleaseTest::fetchTransportFailureIsPlatformError()
{
    int port = 0;
    {
        FeedServer closed; // a port that was just free and now has no listener
        port = closed.port();
    }
    try {
        await(GitHubReleases::fetchLatest(m_network, QStringLiteral("http://127.0.0.1:%1/feed").arg(port)));
        QFAIL("fetch should fail");
    } catch (const PlatformError &e) {
        QCOMPARE(e.domain, ErrorDomain::url);
        QCOMPARE(e.code, UrlCode::cannotConnectToHost);
        const FriendlyError friendly = FriendlyError::from(std::current_exception(), QStringLiteral("Checking"));
        QCOMPARE(friendly.message,
                 QStringLiteral("Can't reach the internet right now. Check your connection and try again."));
    }

    // A feed that goes silent times out.
    FeedServer::Route stalled;
    stalled.body = "{}";
    stalled.chunkBytes = 1;
    stalled.delayPerChunkMs = 1500;
    FeedServer server;
    server.route(QStringLiteral("/stalled"), stalled);
    try {
        await(GitHubReleases::fetchLatest(m_network, server.urlText(QStringLiteral("/stalled")),
                                          std::chrono::milliseconds(300)));
        QFAIL("fetch should time out");
    } catch (const PlatformError &e) {
        QCOMPARE(e.domain, ErrorDomain::url);
        QCOMPARE(e.code, qint64(-1001));
    }
}

void ReleaseTest::pickAssetPrefersDiskImages()
{
    Release r;
    QVERIFY(!GitHubReleases::pickAsset(r));

    r.assets = {makeAsset(QStringLiteral("App.zip")), makeAsset(QStringLiteral("App.dmg"))};
    QCOMPARE(GitHubReleases::pickAsset(r)->name, QStringLiteral("App.dmg"));

    r.assets = {makeAsset(QStringLiteral("First.DMG")), makeAsset(QStringLiteral("Second.dmg"))};
    QCOMPARE(GitHubReleases::pickAsset(r)->name, QStringLiteral("First.DMG"));

    r.assets = {makeAsset(QStringLiteral("App.dmg"), std::nullopt), makeAsset(QStringLiteral("App.zip"))};
    QCOMPARE(GitHubReleases::pickAsset(r)->name, QStringLiteral("App.zip"));

    r.assets = {makeAsset(QStringLiteral("Source.tar.gz")), makeAsset(QStringLiteral("App.dmg.sha256"))};
    QVERIFY(!GitHubReleases::pickAsset(r));
}

void ReleaseTest::checksumFromDigest_data()
{
    const QString hex = QStringLiteral("0123456789abcdef").repeated(4);
    QTest::addColumn<QString>("digest");
    QTest::addColumn<QString>("expected");
    QTest::newRow("sha256 prefix") << QString(QStringLiteral("sha256:") + hex) << hex;
    QTest::newRow("upper case") << QString(QStringLiteral("SHA256:") + hex.toUpper()) << hex;
    QTest::newRow("bare 64 characters, not checked as hex")
        << QString(64, QLatin1Char('z')) << QString(64, QLatin1Char('z'));
    QTest::newRow("other algorithm falls through") << QString(QStringLiteral("sha512:") + hex) << QString();
    QTest::newRow("too short falls through") << QStringLiteral("sha256:abc") << QString();
}

void ReleaseTest::checksumFromDigest()
{
    QFETCH(QString, digest);
    QFETCH(QString, expected);
    Release r;
    r.assets = {makeAsset(QStringLiteral("OpenEmu.dmg"), QUrl(QStringLiteral("https://example.com/f")), digest)};
    const auto checksum = await(GitHubReleases::expectedChecksum(m_network, r, r.assets[0]));
    QCOMPARE(checksum.value_or(QString()), expected);
}

void ReleaseTest::checksumFromFile()
{
    const QString hex = QStringLiteral("ab").repeated(32);
    FeedServer server;
    server.file(QStringLiteral("/sum"), hex.toUpper().toUtf8() + "  OpenEmu-Silicon.dmg\n");
    server.file(QStringLiteral("/other"), QStringLiteral("cd").repeated(32).toUtf8());

    Release r;
    const ReleaseAsset image = makeAsset(QStringLiteral("OpenEmu-Silicon.dmg"));
    r.assets = {makeAsset(QStringLiteral("checksums.txt"), server.url(QStringLiteral("/other"))), image,
                makeAsset(QStringLiteral("openemu-silicon.dmg.sha256"), server.url(QStringLiteral("/sum")))};
    QCOMPARE(await(GitHubReleases::expectedChecksum(m_network, r, image)), hex);
    QCOMPARE(server.hits(QStringLiteral("/other")), 0);

    // The status is not looked at: a 404 page holding no 64-digit word gives none.
    server.json(QStringLiteral("/sum"), "not found", 404);
    QVERIFY(!await(GitHubReleases::expectedChecksum(m_network, r, image)));

    // An unreachable or address-less checksum file gives none, never a failure.
    r.assets[2].browserDownloadUrl = QUrl(QStringLiteral("http://127.0.0.1:1/sum"));
    QVERIFY(!await(GitHubReleases::expectedChecksum(m_network, r, image)));
    r.assets[2].browserDownloadUrl.reset();
    QVERIFY(!await(GitHubReleases::expectedChecksum(m_network, r, image)));
}

void ReleaseTest::checksumWord_data()
{
    const QByteArray hex = QByteArray("0f").repeated(32);
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("only the word and a line feed") << hex + "\n" << QString::fromLatin1(hex);
    QTest::newRow("after other words, tab separated") << "SHA256\t(file)\t=\t" + hex << QString::fromLatin1(hex);
    QTest::newRow("carriage return is not a separator") << hex + "\r\n" << QString();
    QTest::newRow("63 digits") << hex.left(63) << QString();
    QTest::newRow("not hex") << QByteArray(64, 'g') << QString();
}

void ReleaseTest::checksumWord()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QCOMPARE(GitHubReleases::findChecksumWord(text).value_or(QString()), expected);
}

QTEST_MAIN(ReleaseTest)
#include "tst_release.moc"
