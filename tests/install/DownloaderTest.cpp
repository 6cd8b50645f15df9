#include "Await.h"
#include "FeedServer.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "Thrown.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "install/DiskWriter.h"
#include "install/Downloader.h"
#include "install/Installer.h"

#include <QNetworkAccessManager>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using TestFiles::read;
using TestSupport::await;
using TestSupport::thrown;

namespace {

QByteArray bodyOf(int size)
{
    QByteArray body(size, '\0');
    for (int i = 0; i < size; ++i)
        body[i] = char('a' + i % 26);
    return body;
}

// A self-signed certificate and key for 127.0.0.1, made afresh by OpenSSL: a TLS server on
// loopback that only the requests told of it trust.
std::pair<QByteArray, QByteArray> loopbackCertificate()
{
    const QTemporaryDir dir;
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(u"openssl"_s, {u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s,
                                 u"ec_paramgen_curve:P-256"_s, u"-nodes"_s, u"-days"_s, u"1"_s, u"-subj"_s,
                                 u"/CN=127.0.0.1"_s, u"-addext"_s, u"subjectAltName=IP:127.0.0.1"_s, u"-keyout"_s,
                                 dir.filePath(u"key.pem"_s), u"-out"_s, dir.filePath(u"cert.pem"_s)});
    if (!openssl.waitForFinished() || openssl.exitCode() != 0)
        qFatal("openssl could not make a certificate: %s", openssl.readAll().constData());
    return {read(dir.filePath(u"cert.pem"_s)), read(dir.filePath(u"key.pem"_s))};
}

FeedServer::Route redirectTo(const QString &target)
{
    FeedServer::Route redirect;
    redirect.status = 302;
    redirect.redirectTo = target;
    return redirect;
}

} // namespace

class DownloaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void speedIsSampledAndSmoothed()
    {
        using namespace std::chrono_literals;
        const auto start = SpeedSampler::Clock::now();
        SpeedSampler sampler(start);
        // Events 0.2 s apart at 100,000 bytes each: the speed stays 0 until half a second has
        // passed, then changes only when another half second has.
        QCOMPARE(sampler.update(100'000, start + 200ms), 0.0);
        QCOMPARE(sampler.update(300'000, start + 600ms), 500'000.0); // first sample taken as it is
        QCOMPARE(sampler.update(500'000, start + 1000ms), 500'000.0);
        // 1.2 s: 300,000 bytes in 0.6 s = 500,000 B/s again; then a stall of half a second.
        QCOMPARE(sampler.update(600'000, start + 1200ms), 500'000.0);
        QCOMPARE(sampler.update(600'000, start + 1700ms), 0.6 * 500'000.0);
        // A faster half second moves the speed 40 % of the way.
        QCOMPARE(sampler.update(1'600'000, start + 2200ms), 0.4 * 2'000'000.0 + 0.6 * 300'000.0);
    }

    void downloadsAndReplacesLeftover()
    {
        const QByteArray body = bodyOf(3 * 1024 * 1024 + 17);
        m_server.file(u"/OpenEmu.zip"_s, body);
        TestFiles::write(dest(u"OpenEmu.zip"_s), "an earlier attempt");

        Downloader downloader(m_network);
        QList<qint64> written;
        qint64 expected = 0;
        downloader.onProgress = [&](qint64 w, qint64 t, double) {
            written.append(w);
            expected = t;
        };
        const QString result = await(downloader.download(m_server.url(u"/OpenEmu.zip"_s), dest(u"OpenEmu.zip"_s)));
        QCOMPARE(result, dest(u"OpenEmu.zip"_s));
        QCOMPARE(read(result), body);
        QCOMPARE(leftovers(), QStringList{u"OpenEmu.zip"_s});
        QCOMPARE(expected, qint64(body.size()));
        QCOMPARE(written.last(), qint64(body.size()));
        QVERIFY(std::is_sorted(written.begin(), written.end()));
        QCOMPARE(m_server.lastHeader(u"/OpenEmu.zip"_s, "User-Agent"), QByteArray("Vantor"));

        // With nothing to compare, nothing is hashed: the same bytes, no hash.
        downloader.setHashing(false);
        QCOMPARE(read(await(downloader.download(m_server.url(u"/OpenEmu.zip"_s), dest(u"again.zip"_s)))), body);
        QVERIFY(downloader.sha256().isEmpty());
    }

    void refusedAfterRedirectNamesFinalUrl()
    {
        m_server.route(u"/OpenEmu.dmg"_s, redirectTo(m_server.urlText(u"/moved/OpenEmu.dmg"_s)));
        Downloader downloader(m_network);
        const auto refused = thrown<FriendlyError>(
            [&] { await(downloader.download(m_server.url(u"/OpenEmu.dmg"_s), dest(u"OpenEmu.dmg"_s))); });
        QVERIFY(refused);
        QCOMPARE(refused->message,
                 u"The download was refused by the server (error 404). The file may have been moved."_s);
        QCOMPARE(refused->details, u"HTTP 404 for "_s + m_server.urlText(u"/moved/OpenEmu.dmg"_s));
        QCOMPARE(m_server.hits(u"/moved/OpenEmu.dmg"_s), 1);
        QVERIFY(leftovers().isEmpty());
    }

    void refusesInsecureAddresses()
    {
        QVERIFY(Downloader::isAllowedAddress(QUrl(u"https://github.com/a.dmg"_s)));
        QVERIFY(Downloader::isAllowedAddress(QUrl(u"http://[::1]/a.dmg"_s)));
        QVERIFY(!Downloader::isAllowedAddress(QUrl(u"file:///etc/passwd"_s)));
        QVERIFY(!Downloader::isAllowedAddress(QUrl(u"ftp://127.0.0.1/a.dmg"_s)));

        // A loopback address that redirects off the machine over plain http is not followed.
        m_server.route(u"/away"_s, redirectTo(u"http://downloads.example.com/OpenEmu.dmg"_s));
        for (const QUrl &url : {QUrl(u"http://example.com/OpenEmu.dmg"_s), m_server.url(u"/away"_s)}) {
            Downloader downloader(m_network);
            const auto refused
                = thrown<FriendlyError>([&] { await(downloader.download(url, dest(u"OpenEmu.dmg"_s))); });
            QVERIFY(refused && refused->message.contains(u"https"_s));
        }
        QVERIFY(leftovers().isEmpty());
    }

    // A server that sends more than the release says (announced or not) is cut off at the
    // published size: nothing past it reaches the disk, and the download fails.
    void stopsAtThePublishedSize()
    {
        for (const bool announced : {true, false}) {
            FeedServer::Route route = FeedServer::Route::slowly(bodyOf(4 * 1024 * 1024), 16 * 1024, 0);
            route.withoutLength = !announced;
            m_server.route(u"/big.zip"_s, route);
            Downloader downloader(m_network);
            downloader.setExpectedSize(1024 * 1024);
            const auto failed = thrown<FriendlyError>(
                [&] { await(downloader.download(m_server.url(u"/big.zip"_s), dest(u"big.zip"_s))); });
            QVERIFY(failed && failed->details == u"Expected 1048576 bytes, got more."_s && leftovers().isEmpty());
        }
    }

    void unwritableDestinationIsAFileError()
    {
        m_server.file(u"/a.zip"_s, "data");
        Downloader downloader(m_network);
        const auto failed = thrown<PlatformError>(
            [&] { await(downloader.download(m_server.url(u"/a.zip"_s), dest(u"missing/a.zip"_s))); });
        QVERIFY(failed && failed->domain == ErrorDomain::cocoa && failed->code == CocoaCode::fileNoSuchFile);
        QCOMPARE(m_server.hits(u"/a.zip"_s), 0);
    }

    // The writer is held up (a disk that doesn't move): the download must stop taking bytes from
    // the network after a few MiB instead of holding the whole body in memory, then finish with
    // every byte and the right hash once the disk moves again.
    void aStalledDiskHoldsTheNetworkBack()
    {
        const QByteArray body = bodyOf(48 * 1024 * 1024);
        m_server.file(u"/big.zip"_s, body);
        QSemaphore disk;
        auto moveAgain = [&disk] {
            DiskWriter::setStallForTesting({});
            disk.release(1'000'000);
        };
        DiskWriter::setStallForTesting([&disk] { disk.acquire(); });
        auto atEnd = qScopeGuard(moveAgain);

        Downloader downloader(m_network);
        downloader.setKeepPartial(true);
        qint64 received = 0;
        downloader.onProgress = [&](qint64 written, qint64, double) { received = std::max(received, written); };
        auto task = downloader.download(m_server.url(u"/big.zip"_s), dest(u"big.zip"_s));
        QTest::qWait(1500);
        QVERIFY2(received > 0 && received < 24 * 1024 * 1024, qPrintable(QString::number(received)));

        moveAgain();
        const QString file = await(std::move(task));
        QCOMPARE(read(file), body);
        QCOMPARE(downloader.sha256(),
                 QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex()));
    }

    void aTrickleIsAStall()
    {
        // 16 bytes every 50 ms: never silent, but far under 1 KiB/s over the (short) window. Given
        // up as timed out; with the part kept, resumed from where it stopped, as after a drop (the
        // server sends a range at full speed).
        m_server.route(u"/trickle.zip"_s, FeedServer::Route::slowly(bodyOf(4 * 1024), 16, 50));
        Downloader once(m_network, nullptr, std::chrono::milliseconds(300));
        const auto stalled
            = thrown<PlatformError>([&] { await(once.download(m_server.url(u"/trickle.zip"_s), dest(u"t.zip"_s))); });
        QVERIFY(stalled && stalled->domain == ErrorDomain::url && stalled->code == UrlCode::timedOut);

        Downloader resuming(m_network, nullptr, std::chrono::milliseconds(300));
        resuming.setKeepPartial(true);
        resuming.setRetryDelays({std::chrono::milliseconds(10)});
        QCOMPARE(read(await(resuming.download(m_server.url(u"/trickle.zip"_s), dest(u"t.zip"_s)))), bodyOf(4 * 1024));
        QCOMPARE(m_server.rangeRequests(u"/trickle.zip"_s).size(), 1);
    }

    void redirectsUpToFiveAnywhere()
    {
        // GitHub sends downloads to another host: followed, five hops at most.
        FeedServer other;
        other.file(u"/OpenEmu.zip"_s, bodyOf(1000));
        m_server.route(u"/hop0"_s, redirectTo(u"http://localhost:%1/OpenEmu.zip"_s.arg(other.port())));
        for (int i = 1; i <= 5; ++i)
            m_server.route(u"/hop%1"_s.arg(i), redirectTo(m_server.urlText(u"/hop%1"_s.arg(i - 1))));
        Downloader downloader(m_network);
        QCOMPARE(read(await(downloader.download(m_server.url(u"/hop4"_s), dest(u"a.zip"_s)))), bodyOf(1000));
        Downloader again(m_network);
        const auto tooMany
            = thrown<FriendlyError>([&] { await(again.download(m_server.url(u"/hop5"_s), dest(u"b.zip"_s))); });
        QVERIFY(tooMany && tooMany->details.startsWith(u"Too many redirects"_s));
    }

    void resumesAfterADrop_data()
    {
        QTest::addColumn<bool>("ignoreRanges");
        QTest::newRow("from where it stopped") << false;
        QTest::newRow("over again when ranges are ignored") << true;
    }

    void resumesAfterADrop()
    {
        QFETCH(bool, ignoreRanges);
        m_server.resetHits();
        FeedServer::Route route;
        route.body = bodyOf(1024 * 1024 + 3);
        route.dropAfterBytes = route.body.size() * 4 / 10; // the connection dies at 40 %
        route.ignoreRanges = ignoreRanges;
        m_server.route(u"/drop.zip"_s, route);

        Downloader downloader(m_network);
        downloader.setKeepPartial(true);
        downloader.setRetryDelays({std::chrono::milliseconds(10), std::chrono::milliseconds(20)});
        QList<qint64> resumedAt;
        downloader.onResume = [&](qint64 offset) { resumedAt.append(offset); };
        const QString file = await(downloader.download(m_server.url(u"/drop.zip"_s), dest(u"drop.zip"_s)));
        QCOMPARE(read(file), route.body);
        // Hashed as it arrived, and the same as a fresh hash of the file.
        QCOMPARE(downloader.sha256(), Installer::sha256(file));
        const QStringList ranges = m_server.rangeRequests(u"/drop.zip"_s);
        QCOMPARE(ranges.size(), 1);
        QVERIFY(ranges.first().startsWith(u"bytes="_s));
        QCOMPARE(resumedAt.size(), 1);
        QCOMPARE(leftovers(), QStringList{u"drop.zip"_s});
    }

    void resumesACancelledDownload()
    {
        auto slow = FeedServer::Route::slowly(bodyOf(64 * 16 * 1024), 16 * 1024, 20);
        m_server.route(u"/kept.dmg"_s, slow);
        {
            Downloader first(m_network);
            first.setKeepPartial(true);
            first.onProgress = [&](qint64 written, qint64, double) {
                if (written > 100'000)
                    first.cancel();
            };
            QVERIFY_THROWS_EXCEPTION(Cancelled,
                                     await(first.download(m_server.url(u"/kept.dmg"_s), dest(u"kept.dmg"_s))));
        }
        const qint64 kept = QFileInfo(dest(u"kept.dmg.partial"_s)).size();
        QVERIFY(kept > 0);

        // The same file again: the kept part is not fetched twice, and the hash covers all of it.
        slow.delayPerChunkMs = 0;
        m_server.route(u"/kept.dmg"_s, slow);
        Downloader second(m_network);
        second.setKeepPartial(true);
        const QString file = await(second.download(m_server.url(u"/kept.dmg"_s), dest(u"kept.dmg"_s)));
        QCOMPARE(read(file), slow.body);
        QCOMPARE(second.sha256(), Installer::sha256(file));
        QCOMPARE(m_server.rangeRequests(u"/kept.dmg"_s), QStringList{u"bytes=%1-"_s.arg(kept)});
    }

    void httpsNeverRedirectsToHttp()
    {
        // Both ends on loopback, where plain http is otherwise allowed: only the downgrade is refused.
        const auto [certificate, key] = loopbackCertificate();
        FeedServer secure(certificate, key);
        m_server.file(u"/plain/OpenEmu.zip"_s, "the app");
        secure.route(u"/OpenEmu.zip"_s, redirectTo(m_server.urlText(u"/plain/OpenEmu.zip"_s)));
        secure.file(u"/direct.zip"_s, "the app");

        QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        trusting.setCaCertificates({QSslCertificate(certificate)});
        Downloader direct(m_network);
        direct.setSslConfiguration(trusting);
        const QString fetched = await(direct.download(secure.url(u"/direct.zip"_s), dest(u"direct.zip"_s)));
        QCOMPARE(read(fetched), QByteArray("the app")); // the TLS server itself is trusted

        Downloader downloader(m_network);
        downloader.setSslConfiguration(trusting);
        const auto refused = thrown<FriendlyError>(
            [&] { await(downloader.download(secure.url(u"/OpenEmu.zip"_s), dest(u"OpenEmu.zip"_s))); });
        QVERIFY(refused && refused->details == m_server.urlText(u"/plain/OpenEmu.zip"_s));
        QCOMPARE(m_server.hits(u"/plain/OpenEmu.zip"_s), 0);
        QCOMPARE(leftovers(), QStringList{u"direct.zip"_s});
    }

    // Progress reaches the main thread at a bounded rate however small the pieces: a body sent
    // in 4 KiB pieces over about a second is hundreds of pieces but at most ~20 figures a
    // second, rising, the last of them the whole size.
    void progressComesAtABoundedRate()
    {
        const QByteArray body = bodyOf(300 * 4096);
        m_server.route(u"/pieces.zip"_s, FeedServer::Route::slowly(body, 4096, 3));
        Downloader downloader(m_network);
        QList<qint64> written;
        downloader.onProgress = [&](qint64 w, qint64, double) { written.append(w); };
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(read(await(downloader.download(m_server.url(u"/pieces.zip"_s), dest(u"pieces.zip"_s)))), body);
        const double seconds = double(timer.elapsed()) / 1000.0;
        QVERIFY2(written.size() >= 2 && written.size() <= seconds * Downloader::progressPerSecond + 2,
                 qPrintable(u"%1 figures in %2 s"_s.arg(written.size()).arg(seconds)));
        QVERIFY(std::is_sorted(written.begin(), written.end()));
        QCOMPARE(written.last(), qint64(body.size()));
    }

    // A cancel while the worker is held inside a write of the file: the download ends cancelled
    // once the write goes on, the kept part is a prefix of the file, and an owner that went
    // away meanwhile (stopNow, then deleted) is never touched again.
    void cancelInTheMiddleOfALargeWrite()
    {
        const QByteArray body = bodyOf(16 * 1024 * 1024);
        m_server.file(u"/large.zip"_s, body);
        for (const bool ownerGoes : {false, true}) {
            QSemaphore entered;
            QSemaphore disk;
            DiskWriter::setStallForTesting([&] {
                entered.release();
                disk.acquire();
            });
            auto atEnd = qScopeGuard([&] {
                DiskWriter::setStallForTesting({});
                disk.release(1000);
            });
            const QString to = dest(u"large-%1.zip"_s.arg(ownerGoes));
            auto *downloader = new Downloader(m_network);
            downloader->setKeepPartial(true);
            auto task = downloader->download(m_server.url(u"/large.zip"_s), to);
            QTRY_VERIFY(entered.available() > 0); // inside its first write
            if (ownerGoes) {
                downloader->stopNow();
                delete downloader;
                downloader = nullptr;
            } else {
                downloader->cancel();
            }
            DiskWriter::setStallForTesting({});
            disk.release(1000);
            QVERIFY_THROWS_EXCEPTION(Cancelled, await(std::move(task)));
            delete downloader;
            const QByteArray kept = read(to + u".partial"_s);
            QVERIFY2(kept.size() >= DiskWriter::appendBytes && kept.size() < body.size(),
                     qPrintable(QString::number(kept.size())));
            QVERIFY(kept == body.left(kept.size()));
        }
    }

private:
    QString dest(const QString &name) const { return m_dir->filePath(name); }
    // Everything in the download folder, to show that no partial file is left behind.
    QStringList leftovers() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }

    QNetworkAccessManager m_network;
    FeedServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
};

VANTOR_TEST_CLASS(DownloaderTest)
#include "DownloaderTest.moc"
