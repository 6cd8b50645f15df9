#include "Await.h"
#include "FeedServer.h"
#include "TestHome.h"
#include "Thrown.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "release/GitHubReleases.h"
#include "release/ReleaseDecoder.h"

#include <QNetworkAccessManager>
#include <QtTest>

using namespace Qt::StringLiterals;

using TestSupport::await;
using TestSupport::thrown;

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

ReleaseAsset makeAsset(const QString &name, std::optional<QUrl> url = QUrl(u"https://example.com/f"_s),
                       std::optional<QString> digest = std::nullopt)
{
    return ReleaseAsset{name, 10, std::move(url), std::move(digest)};
}

} // namespace

class ReleaseTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesFullRelease()
    {
        const QByteArray json = "{\"tag_name\":\"v1.0.4\",\"name\":\"OpenEmu 1.0.4\",\"body\":\"**New**\","
                                "\"html_url\":\"https://github.com/x\",\"published_at\":\"2026-01-02T03:04:05Z\","
                                "\"draft\":false,\"author\":{\"login\":\"x\"},\"assets\":["
                                + asset("OpenEmu.dmg", "\"https://example.com/OpenEmu.dmg\"", "9007199254740993",
                                        ",\"digest\":\"sha256:ab\",\"download_count\":[1]")
                                + "," + asset("OpenEmu.zip", "null") + "]}";
        const Release r = ReleaseDecoder::decode(json);
        QCOMPARE(r.tagName, u"v1.0.4"_s);
        QCOMPARE(r.name, u"OpenEmu 1.0.4"_s);
        QCOMPARE(r.body, u"**New**"_s);
        QCOMPARE(r.htmlUrl, u"https://github.com/x"_s);
        QCOMPARE(r.publishedAt, u"2026-01-02T03:04:05Z"_s);
        QCOMPARE(r.assets.size(), 2);
        // Integers beyond a double's exact range keep every digit.
        QCOMPARE(r.assets[0].size, Q_INT64_C(9007199254740993));
        QCOMPARE(r.assets[0].browserDownloadUrl, QUrl(u"https://example.com/OpenEmu.dmg"_s));
        QCOMPARE(r.assets[0].digest, u"sha256:ab"_s);
        QVERIFY(!r.assets[1].browserDownloadUrl);
        QVERIFY(!r.assets[1].digest);
    }

    void optionalMembersMayBeNullOrAbsent()
    {
        const Release nulls = ReleaseDecoder::decode(
            "{\"tag_name\":\"1\",\"name\":null,\"body\":null,\"html_url\":null,\"published_at\":null,\"assets\":[]}");
        QVERIFY(!nulls.name && !nulls.body && !nulls.htmlUrl && !nulls.publishedAt);
        QVERIFY(nulls.assets.isEmpty());

        // A member already in camel case is matched as it stands.
        const Release camel = ReleaseDecoder::decode("{\"tagName\":\"v2\",\"assets\":[]}");
        QCOMPARE(camel.tagName, u"v2"_s);
    }

    void rejectsMalformedReleases_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("not json") << QByteArray("<html>") << u"not valid JSON"_s;
        QTest::newRow("top-level array") << QByteArray("[]") << u"top level"_s;
        QTest::newRow("no tag") << QByteArray("{\"assets\":[]}") << u"tagName"_s;
        QTest::newRow("tag not a string") << QByteArray("{\"tag_name\":1,\"assets\":[]}") << u"tagName"_s;
        QTest::newRow("no assets") << QByteArray("{\"tag_name\":\"v1\"}") << u"assets"_s;
        QTest::newRow("assets not an array") << QByteArray("{\"tag_name\":\"v1\",\"assets\":{}}") << u"assets"_s;
        QTest::newRow("name a number") << release({}, ",\"name\":5") << u"name"_s;
        QTest::newRow("fractional size") << release(asset("a.dmg", "null", "12.5")) << u"assets[0].size"_s;
        QTest::newRow("size as text") << release(asset("a.dmg", "null", "\"12\"")) << u"assets[0].size"_s;
        QTest::newRow("size beyond 64 bits") << release(asset("a.dmg", "null", "1e20")) << u"assets[0].size"_s;
        QTest::newRow("asset without name") << release("{\"size\":1}") << u"assets[0].name"_s;
        QTest::newRow("second asset bad") << release(asset("a.dmg") + ",{\"name\":\"b\"}") << u"assets[1].size"_s;
        QTest::newRow("address not an address") << release(asset("a.dmg", "\"not a url\"")) << u"browserDownloadUrl"_s;
        QTest::newRow("digest a number") << release(asset("a.dmg", "null", "1", ",\"digest\":7")) << u"digest"_s;
    }

    void rejectsMalformedReleases()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, mentions);
        const auto refused = thrown<ReleaseDecoder::DecodingError>([&] { ReleaseDecoder::decode(json); });
        QVERIFY(refused);
        QVERIFY2(refused->description.contains(mentions), qPrintable(refused->description));
    }

    void fetchReportsStatuses_data()
    {
        const QByteArray longBody = QByteArray(499, 'x') + "\xC3\xA9" + QByteArray(100, 'y');
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");
        const QString limited
            = u"GitHub is limiting requests from this network right now. Wait a few minutes and try again."_s;
        QTest::newRow("429") << 429 << QByteArray("slow down") << limited << u"HTTP 429\nslow down"_s;
        QTest::newRow("403") << 403 << QByteArray("{}") << limited << u"HTTP 403\n{}"_s;
        // The excerpt is 500 bytes, cutting a two-byte character in half.
        QTest::newRow("404 long body") << 404 << longBody
                                       << u"GitHub couldn't give us the latest release (error 404)."_s
                                       << QString(QString(499, QLatin1Char('x')) + QChar(0xFFFD));
        QTest::newRow("500 empty") << 500 << QByteArray()
                                   << u"GitHub couldn't give us the latest release (error 500)."_s << QString();
        QTest::newRow("200 without tag") << 200 << QByteArray("{\"assets\":[]}")
                                         << u"The release information came back in a format we didn't expect."_s
                                         << u"Member \"tagName\": required member is missing."_s;
    }

    void fetchReportsStatuses()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        QFETCH(QString, details);
        FeedServer server;
        server.json(u"/feed"_s, body, status);
        const auto failed = fetchFailure(server.urlText(u"/feed"_s));
        QVERIFY(failed);
        QCOMPARE(failed->message, message);
        QCOMPARE(failed->details, details);
    }

    void fetchFailsSafely()
    {
        // A reply larger than any release, sent without a length: refused, not read into memory whole.
        FeedServer server;
        FeedServer::Route route;
        route.body = release({}, ",\"body\":\"" + QByteArray(GitHubReleases::maxFeedBytes, 'a') + "\"");
        route.withoutLength = true;
        server.route(u"/huge"_s, route);
        const auto huge = fetchFailure(server.urlText(u"/huge"_s));
        QVERIFY(huge);
        QCOMPARE(huge->message, u"The release information came back in a format we didn't expect."_s);
        QVERIFY2(huge->details.contains(u"larger than 16 MiB"_s), qPrintable(huge->details));

        for (const QString &address : {u"not an address"_s, u"http://"_s}) {
            const auto invalid = fetchFailure(address);
            QVERIFY(invalid);
            QCOMPARE(invalid->message, u"The release address is invalid."_s);
            QCOMPARE(invalid->details, address);
        }

        // Nobody listening, and a feed that trickles a byte at a time: the platform's own failures.
        int port = 0;
        {
            FeedServer closed; // a port that was just free and now has no listener
            port = closed.port();
        }
        const auto refused = thrown<PlatformError>(
            [&] { await(GitHubReleases::fetchLatest(m_network, u"http://127.0.0.1:%1/feed"_s.arg(port))); });
        QVERIFY(refused && refused->domain == ErrorDomain::url && refused->code == UrlCode::cannotConnectToHost);
        server.route(u"/stalled"_s, FeedServer::Route::slowly(QByteArray(30, ' ') + "{}", 1, 100));
        const auto silent = thrown<PlatformError>([&] {
            await(
                GitHubReleases::fetchLatest(m_network, server.urlText(u"/stalled"_s), std::chrono::milliseconds(300)));
        });
        QVERIFY(silent && silent->domain == ErrorDomain::url && silent->code == UrlCode::timedOut);
    }

    void pickAssetPrefersDiskImages()
    {
        Release r;
        QVERIFY(!GitHubReleases::pickAsset(r));

        r.assets = {makeAsset(u"App.zip"_s), makeAsset(u"App.dmg"_s)};
        QCOMPARE(GitHubReleases::pickAsset(r)->name, u"App.dmg"_s);

        r.assets = {makeAsset(u"First.DMG"_s), makeAsset(u"Second.dmg"_s)};
        QCOMPARE(GitHubReleases::pickAsset(r)->name, u"First.DMG"_s);

        r.assets = {makeAsset(u"App.dmg"_s, std::nullopt), makeAsset(u"App.zip"_s)};
        QCOMPARE(GitHubReleases::pickAsset(r)->name, u"App.zip"_s);

        r.assets = {makeAsset(u"Source.tar.gz"_s), makeAsset(u"App.dmg.sha256"_s)};
        QVERIFY(!GitHubReleases::pickAsset(r));

        // Cores are never the app: not a core plugin's zip, nothing of a core-update release.
        r.assets = {makeAsset(u"AllCores.oecoreplugin.zip"_s), makeAsset(u"OpenEmu-Silicon.zip"_s)};
        QCOMPARE(GitHubReleases::pickAsset(r)->name, u"OpenEmu-Silicon.zip"_s);
        r.tagName = u"cores-v1.2.0"_s;
        QVERIFY(!GitHubReleases::pickAsset(r));
    }

    void checksumFromDigest_data()
    {
        const QString hex = u"0123456789abcdef"_s.repeated(4);
        QTest::addColumn<QString>("digest");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sha256 prefix") << QString(u"sha256:"_s + hex) << hex;
        QTest::newRow("upper case") << QString(u"SHA256:"_s + hex.toUpper()) << hex;
        QTest::newRow("bare 64 characters, not checked as hex")
            << QString(64, QLatin1Char('z')) << QString(64, QLatin1Char('z'));
        QTest::newRow("other algorithm falls through") << QString(u"sha512:"_s + hex) << QString();
        QTest::newRow("too short falls through") << u"sha256:abc"_s << QString();
    }

    void checksumFromDigest()
    {
        QFETCH(QString, digest);
        QFETCH(QString, expected);
        Release r;
        r.assets = {makeAsset(u"OpenEmu.dmg"_s, QUrl(u"https://example.com/f"_s), digest)};
        const auto checksum = await(GitHubReleases::expectedChecksum(m_network, r, r.assets[0]));
        QCOMPARE(checksum.value_or(QString()), expected);
    }

    void checksumFromFile()
    {
        const QString hex = u"ab"_s.repeated(32);
        FeedServer server;
        server.file(u"/sum"_s, hex.toUpper().toUtf8() + "  OpenEmu-Silicon.dmg\n");
        server.file(u"/other"_s, u"cd"_s.repeated(32).toUtf8());

        Release r;
        const ReleaseAsset image = makeAsset(u"OpenEmu-Silicon.dmg"_s);
        r.assets = {makeAsset(u"checksums.txt"_s, server.url(u"/other"_s)), image,
                    makeAsset(u"openemu-silicon.dmg.sha256"_s, server.url(u"/sum"_s))};
        QCOMPARE(await(GitHubReleases::expectedChecksum(m_network, r, image)), hex);
        QCOMPARE(server.hits(u"/other"_s), 0);

        // A published checksum file that can't be had stops the install, with why in the details:
        // a 404 (even one whose page holds a checksum-like word), a redirect to plain http, no
        // server, a file without a checksum. Only a release that lists none gives none.
        server.json(u"/gone"_s, hex.toUtf8(), 404);
        FeedServer::Route insecure;
        insecure.status = 302;
        insecure.redirectTo = u"http://example.com/sum"_s;
        server.route(u"/insecure"_s, insecure);
        server.file(u"/empty"_s, "nothing here");
        for (const auto &[url, why] : {std::pair{server.url(u"/gone"_s), u"HTTP status 404"_s},
                                       {server.url(u"/insecure"_s), u"example.com"_s},
                                       {QUrl(u"http://127.0.0.1:1/sum"_s), QString()},
                                       {server.url(u"/empty"_s), u"It holds no SHA-256 checksum."_s}}) {
            r.assets[2].browserDownloadUrl = url;
            const auto refused
                = thrown<FriendlyError>([&] { await(GitHubReleases::expectedChecksum(m_network, r, image)); });
            QVERIFY2(refused, qPrintable(url.toString()));
            QCOMPARE(refused->message, u"The release's checksum file couldn't be read, so nothing was installed."_s);
            QVERIFY2(refused->details.startsWith(url.toDisplayString()) && refused->details.contains(why),
                     qPrintable(refused->details));
        }
        r.assets[2].browserDownloadUrl.reset();
        QVERIFY(!await(GitHubReleases::expectedChecksum(m_network, r, image)));
    }

    void checksumWord_data()
    {
        const QByteArray hex = QByteArray("0f").repeated(32);
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("only the word and a line feed") << hex + "\n" << QString::fromLatin1(hex);
        QTest::newRow("after other words, tab separated")
            << QByteArray("SHA256\t(file)\t=\t") + hex << QString::fromLatin1(hex);
        QTest::newRow("carriage return is not a separator") << hex + "\r\n" << QString();
        QTest::newRow("63 digits") << hex.left(63) << QString();
        QTest::newRow("not hex") << QByteArray(64, 'g') << QString();
    }

    void checksumWord()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        QCOMPARE(GitHubReleases::findChecksumWord(text).value_or(QString()), expected);
    }

    void courtesyTowardGitHub()
    {
        FeedServer server;
        server.json(u"/feed"_s, release(asset("OpenEmu.dmg")));
        // GitHub's media type and a User-Agent, as its API asks; the second check asks whether the kept
        // reply is still current, and uses it on a 304.
        QCOMPARE(await(GitHubReleases::fetchLatest(m_network, server.urlText(u"/feed"_s))).tagName, u"v1.0.4"_s);
        QCOMPARE(server.lastHeader(u"/feed"_s, "Accept"), QByteArray("application/vnd.github+json"));
        QCOMPARE(server.lastHeader(u"/feed"_s, "User-Agent"), QByteArray("Vantor"));
        QVERIFY(server.lastHeader(u"/feed"_s, "If-None-Match").isEmpty());
        QCOMPARE(await(GitHubReleases::fetchLatest(m_network, server.urlText(u"/feed"_s))).tagName, u"v1.0.4"_s);
        QVERIFY(!server.lastHeader(u"/feed"_s, "If-None-Match").isEmpty());

        // A moved repository: up to five redirects on the feed's own host, never to another host.
        const auto redirect = [&](const QString &from, const QString &to) {
            FeedServer::Route moved;
            moved.status = 302;
            moved.redirectTo = to;
            server.route(from, moved);
        };
        redirect(u"/hop0"_s, server.urlText(u"/feed"_s));
        for (int i = 1; i <= 5; ++i)
            redirect(u"/hop%1"_s.arg(i), server.urlText(u"/hop%1"_s.arg(i - 1)));
        QCOMPARE(await(GitHubReleases::fetchLatest(m_network, server.urlText(u"/hop4"_s))).tagName, u"v1.0.4"_s);
        const auto tooMany = fetchFailure(server.urlText(u"/hop5"_s));
        QVERIFY(tooMany && tooMany->details.contains(u"Too many redirects"_s));
        redirect(u"/away"_s, u"http://localhost:%1/feed"_s.arg(server.port()));
        QVERIFY(fetchFailure(server.urlText(u"/away"_s)));
        // The old address of a moved repository (301 on the same host): read, and its ETag kept.
        FeedServer::Route moved;
        moved.status = 301;
        moved.redirectTo = server.urlText(u"/feed"_s);
        server.route(u"/old/feed"_s, moved);
        for (int check = 0; check < 2; ++check)
            QCOMPARE(await(GitHubReleases::fetchLatest(m_network, server.urlText(u"/old/feed"_s))).tagName,
                     u"v1.0.4"_s);
        QVERIFY(!server.lastHeader(u"/feed"_s, "If-None-Match").isEmpty());

        // The token: to the feed's own origin only; another port on the same host is another server.
        qputenv("GH_TOKEN", "secret-token");
        auto unset = qScopeGuard([] { qunsetenv("GH_TOKEN"); });
        FeedServer otherPort;
        otherPort.json(u"/feed"_s, release(asset("OpenEmu.dmg")));
        redirect(u"/moved"_s, otherPort.urlText(u"/feed"_s));
        server.resetHits();
        QCOMPARE(await(GitHubReleases::fetchLatest(m_network, server.urlText(u"/moved"_s))).tagName, u"v1.0.4"_s);
        QCOMPARE(server.lastHeader(u"/moved"_s, "Authorization"), QByteArray("Bearer secret-token"));
        QCOMPARE(otherPort.hits(u"/feed"_s), 1);
        QVERIFY(otherPort.lastHeader(u"/feed"_s, "Authorization").isEmpty());
        qputenv("GH_TOKEN", "secret\r\nX-Injected: 1"); // a line break would add a header: never sent
        await(GitHubReleases::fetchLatest(m_network, server.urlText(u"/moved"_s)));
        QVERIFY(server.lastHeader(u"/moved"_s, "Authorization").isEmpty());

        // A rate limit names the time to try again, and never the token.
        FeedServer::Route limited;
        limited.status = 429;
        limited.body = "slow down";
        const qint64 reset = QDateTime(QDate(2026, 12, 6), QTime(21, 7)).toSecsSinceEpoch();
        limited.headers = {{"X-RateLimit-Reset", QByteArray::number(reset)}};
        server.route(u"/limited"_s, limited);
        const auto limitedFailure = fetchFailure(server.urlText(u"/limited"_s));
        QVERIFY(limitedFailure);
        QVERIFY2(limitedFailure->details.endsWith(u"\nTry again after 21:07."_s), qPrintable(limitedFailure->details));
        QVERIFY(!limitedFailure->details.contains(u"secret"_s));

        // Plain http is for this machine only.
        QVERIFY(fetchFailure(u"http://example.com/feed"_s));
    }

private:
    std::optional<FriendlyError> fetchFailure(const QString &feed)
    {
        return thrown<FriendlyError>([&] { await(GitHubReleases::fetchLatest(m_network, feed)); });
    }

    TestHome &m_home = TestHome::shared(); // the feed's cache goes to this home
    QNetworkAccessManager m_network;
};

QTEST_MAIN(ReleaseTest)
#include "tst_release.moc"
