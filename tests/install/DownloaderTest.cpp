#include "Await.h"
#include "FeedServer.h"
#include "TestCertificate.h"
#include "TestMain.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "install/Downloader.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QtTest>

using TestSupport::await;

namespace {

QByteArray bodyOf(int size)
{
    QByteArray body(size, '\0');
    for (int i = 0; i < size; ++i)
        body[i] = char('a' + i % 26);
    return body;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class DownloaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void speedIsSampledAndSmoothed();
    void downloadsAndReplacesLeftover();
    void reportsUnknownLength();
    void refusedAfterRedirectNamesFinalUrl();
    void refusesInsecureAddresses();
    void cancelMidTransferLeavesNothing();
    void slowBodyMovesTheSpeed();
    void unwritableDestinationIsAFileError();
    void silenceEndsTheDownload();
    void httpsNeverRedirectsToHttp();

private:
    QString dest(const QString &name) const { return m_dir->filePath(name); }
    // Everything in the download folder, to show that no partial file is left behind.
    QStringList leftovers() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }

    QNetworkAccessManager m_network;
    FeedServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void DownloaderTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void DownloaderTest::speedIsSampledAndSmoothed()
{
    using namespace std::chrono_literals;
    const auto start = SpeedSampler::Clock::now();
    SpeedSampler sampler(start);
    // Events 0.2 s apart at 100,000 bytes each: the speed stays 0 until half a second has
    // passed, then changes only when another half second has.
    QCOMPARE(sampler.update(100'000, start + 200ms), 0.0);
    QCOMPARE(sampler.update(200'000, start + 400ms), 0.0);
    QCOMPARE(sampler.update(300'000, start + 600ms), 500'000.0); // first sample taken as it is
    QCOMPARE(sampler.update(400'000, start + 800ms), 500'000.0);
    QCOMPARE(sampler.update(500'000, start + 1000ms), 500'000.0);
    // 1.2 s: 300,000 bytes in 0.6 s = 500,000 B/s again; then a stall of half a second.
    QCOMPARE(sampler.update(600'000, start + 1200ms), 500'000.0);
    QCOMPARE(sampler.update(600'000, start + 1700ms), 0.6 * 500'000.0);
    // A faster half second moves the speed 40 % of the way.
    QCOMPARE(sampler.update(1'600'000, start + 2200ms), 0.4 * 2'000'000.0 + 0.6 * 300'000.0);
}

void DownloaderTest::downloadsAndReplacesLeftover()
{
    const QByteArray body = bodyOf(3 * 1024 * 1024 + 17);
    m_server.file(QStringLiteral("/OpenEmu.zip"), body);
    QFile leftover(dest(QStringLiteral("OpenEmu.zip")));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write("an earlier attempt");
    leftover.close();

    Downloader downloader(m_network);
    QList<qint64> written;
    qint64 expected = 0;
    downloader.onProgress = [&](qint64 w, qint64 t, double) {
        written.append(w);
        expected = t;
    };
    const QString result
        = await(downloader.download(m_server.url(QStringLiteral("/OpenEmu.zip")), dest(QStringLiteral("OpenEmu.zip"))));
    QCOMPARE(result, dest(QStringLiteral("OpenEmu.zip")));
    QCOMPARE(readAll(result), body);
    QCOMPARE(leftovers(), QStringList{QStringLiteral("OpenEmu.zip")});
    QCOMPARE(expected, qint64(body.size()));
    QCOMPARE(written.last(), qint64(body.size()));
    QVERIFY(std::is_sorted(written.begin(), written.end()));
    QCOMPARE(m_server.lastHeader(QStringLiteral("/OpenEmu.zip"), "User-Agent"), QByteArray("Vantor"));
}

void DownloaderTest::reportsUnknownLength()
{
    FeedServer::Route route;
    route.body = bodyOf(200'000);
    route.withoutLength = true;
    route.chunkBytes = 40'000;
    route.delayPerChunkMs = 120; // Qt reports progress at most every 150 ms or so
    m_server.route(QStringLiteral("/chunked.dmg"), route);

    Downloader downloader(m_network);
    QList<qint64> totals;
    downloader.onProgress = [&](qint64, qint64 t, double) { totals.append(t); };
    const QString result
        = await(downloader.download(m_server.url(QStringLiteral("/chunked.dmg")), dest(QStringLiteral("a.dmg"))));
    QCOMPARE(readAll(result), route.body);
    // Until the body is complete the total is unknown; Qt may name it once everything is in.
    QVERIFY(totals.size() >= 2);
    QCOMPARE(totals.first(), qint64(-1));
    QVERIFY(totals.count(-1) >= totals.size() - 1);
}

void DownloaderTest::refusedAfterRedirectNamesFinalUrl()
{
    FeedServer::Route redirect;
    redirect.status = 302;
    redirect.redirectTo = m_server.urlText(QStringLiteral("/moved/OpenEmu.dmg"));
    m_server.route(QStringLiteral("/OpenEmu.dmg"), redirect);

    Downloader downloader(m_network);
    try {
        await(downloader.download(m_server.url(QStringLiteral("/OpenEmu.dmg")), dest(QStringLiteral("OpenEmu.dmg"))));
        QFAIL("the download should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message,
                 QStringLiteral("The download was refused by the server (error 404). The file may have been moved."));
        QCOMPARE(e.details, QStringLiteral("HTTP 404 for ") + m_server.urlText(QStringLiteral("/moved/OpenEmu.dmg")));
    }
    QCOMPARE(m_server.hits(QStringLiteral("/moved/OpenEmu.dmg")), 1);
    QVERIFY(leftovers().isEmpty());
}

void DownloaderTest::refusesInsecureAddresses()
{
    QVERIFY(Downloader::isAllowedAddress(QUrl(QStringLiteral("https://github.com/a.dmg"))));
    QVERIFY(Downloader::isAllowedAddress(QUrl(QStringLiteral("http://127.0.0.1:8080/a.dmg"))));
    QVERIFY(Downloader::isAllowedAddress(QUrl(QStringLiteral("http://[::1]/a.dmg"))));
    QVERIFY(!Downloader::isAllowedAddress(QUrl(QStringLiteral("http://github.com/a.dmg"))));
    QVERIFY(!Downloader::isAllowedAddress(QUrl(QStringLiteral("file:///etc/passwd"))));
    QVERIFY(!Downloader::isAllowedAddress(QUrl(QStringLiteral("ftp://127.0.0.1/a.dmg"))));

    // A loopback address that redirects off the machine over plain http is not followed.
    FeedServer::Route redirect;
    redirect.status = 302;
    redirect.redirectTo = QStringLiteral("http://downloads.example.com/OpenEmu.dmg");
    m_server.route(QStringLiteral("/away"), redirect);
    for (const QUrl &url :
         {QUrl(QStringLiteral("http://example.com/OpenEmu.dmg")), m_server.url(QStringLiteral("/away"))}) {
        Downloader downloader(m_network);
        try {
            await(downloader.download(url, dest(QStringLiteral("OpenEmu.dmg"))));
            QFAIL("the download should be refused");
        } catch (const FriendlyError &e) {
            QVERIFY2(e.message.contains(QStringLiteral("https")), qPrintable(e.message));
        }
    }
    QVERIFY(leftovers().isEmpty());
}

void DownloaderTest::cancelMidTransferLeavesNothing()
{
    FeedServer::Route slow;
    slow.body = bodyOf(40 * 16 * 1024);
    slow.chunkBytes = 16 * 1024;
    slow.delayPerChunkMs = 50;
    m_server.route(QStringLiteral("/slow.dmg"), slow);

    Downloader downloader(m_network);
    qint64 seen = 0;
    downloader.onProgress = [&](qint64 w, qint64, double) {
        seen = w;
        if (w > 0)
            downloader.cancel();
    };
    try {
        await(downloader.download(m_server.url(QStringLiteral("/slow.dmg")), dest(QStringLiteral("slow.dmg"))));
        QFAIL("the download should be cancelled");
    } catch (const Cancelled &) {
    }
    QVERIFY(seen > 0 && seen < slow.body.size());
    QVERIFY(leftovers().isEmpty());
}

void DownloaderTest::slowBodyMovesTheSpeed()
{
    FeedServer::Route slow;
    slow.body = bodyOf(8 * 32 * 1024);
    slow.chunkBytes = 32 * 1024;
    slow.delayPerChunkMs = 200;
    m_server.route(QStringLiteral("/slow.zip"), slow);

    Downloader downloader(m_network);
    QList<double> speeds;
    downloader.onProgress = [&](qint64, qint64, double speed) { speeds.append(speed); };
    await(downloader.download(m_server.url(QStringLiteral("/slow.zip")), dest(QStringLiteral("slow.zip"))));
    QVERIFY(speeds.size() >= 8);
    QCOMPARE(speeds.first(), 0.0);
    // 32 KiB every 0.2 s is about 160 KB/s; allow for a loaded machine.
    QVERIFY2(speeds.last() > 40'000 && speeds.last() < 400'000, qPrintable(QString::number(speeds.last())));
    // The speed changes at most every half second: far fewer changes than events.
    int changes = 0;
    for (qsizetype i = 1; i < speeds.size(); ++i)
        changes += speeds[i] != speeds[i - 1];
    QVERIFY2(changes <= speeds.size() / 2, qPrintable(QString::number(changes)));
}

void DownloaderTest::unwritableDestinationIsAFileError()
{
    m_server.file(QStringLiteral("/a.zip"), "data");
    Downloader downloader(m_network);
    try {
        await(downloader.download(m_server.url(QStringLiteral("/a.zip")), dest(QStringLiteral("missing/a.zip"))));
        QFAIL("the download should fail");
    } catch (const PlatformError &e) {
        QCOMPARE(e.domain, ErrorDomain::cocoa);
        QCOMPARE(e.code, CocoaCode::fileNoSuchFile);
    }
    QCOMPARE(m_server.hits(QStringLiteral("/a.zip")), 0);
}

void DownloaderTest::silenceEndsTheDownload()
{
    FeedServer::Route stalled;
    stalled.body = bodyOf(4 * 1024);
    stalled.chunkBytes = 1024;
    stalled.delayPerChunkMs = 1500; // the first chunk already comes too late
    m_server.route(QStringLiteral("/stalled.zip"), stalled);

    Downloader downloader(m_network, nullptr, std::chrono::milliseconds(300));
    try {
        await(downloader.download(m_server.url(QStringLiteral("/stalled.zip")), dest(QStringLiteral("s.zip"))));
        QFAIL("the download should time out");
    } catch (const PlatformError &e) {
        QCOMPARE(e.domain, ErrorDomain::url);
        QCOMPARE(e.code, qint64(-1001));
    }
    QVERIFY(leftovers().isEmpty());
}

void DownloaderTest::httpsNeverRedirectsToHttp()
{
    // Both ends on loopback, where plain http is otherwise allowed: only the downgrade is refused.
    const TestCertificate certificate = TestCertificate::forLoopback();
    FeedServer secure(certificate.certificatePem, certificate.keyPem);
    m_server.file(QStringLiteral("/plain/OpenEmu.zip"), "the app");
    FeedServer::Route redirect;
    redirect.status = 302;
    redirect.redirectTo = m_server.urlText(QStringLiteral("/plain/OpenEmu.zip"));
    secure.route(QStringLiteral("/OpenEmu.zip"), redirect);
    secure.file(QStringLiteral("/direct.zip"), "the app");

    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.setCaCertificates({QSslCertificate(certificate.certificatePem)});
    Downloader direct(m_network);
    direct.setSslConfiguration(trusting);
    const QString fetched
        = await(direct.download(secure.url(QStringLiteral("/direct.zip")), dest(QStringLiteral("direct.zip"))));
    QCOMPARE(readAll(fetched), QByteArray("the app")); // the TLS server itself is trusted

    Downloader downloader(m_network);
    downloader.setSslConfiguration(trusting);
    try {
        await(downloader.download(secure.url(QStringLiteral("/OpenEmu.zip")), dest(QStringLiteral("OpenEmu.zip"))));
        QFAIL("the redirect to http should be refused");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.details, m_server.urlText(QStringLiteral("/plain/OpenEmu.zip")));
    }
    QCOMPARE(m_server.hits(QStringLiteral("/plain/OpenEmu.zip")), 0);
    QCOMPARE(leftovers(), QStringList{QStringLiteral("direct.zip")});
}

VANTOR_TEST_CLASS(DownloaderTest)
#include "DownloaderTest.moc"
