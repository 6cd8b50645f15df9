#include "TestMain.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "install/Installer.h"
#include "platform/FileUtil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

QString writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

qint64 allocated(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : -1;
}

const QString abcSha = QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

} // namespace

class VerifyTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void sha256KnownAnswers();
    void verifyRules_data();
    void verifyRules();
    void verifyMissingFileIsAFileError();
    void sizes();
    void freeSpace();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void VerifyTest::sha256KnownAnswers()
{
    QCOMPARE(Installer::sha256(writeFile(m_dir->filePath(QStringLiteral("empty")), {})),
             QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    QCOMPARE(Installer::sha256(writeFile(m_dir->filePath(QStringLiteral("abc")), "abc")), abcSha);
    // Longer than one 1 MiB read: a million 'a's, the standard's long test vector.
    QCOMPARE(Installer::sha256(writeFile(m_dir->filePath(QStringLiteral("million")), QByteArray(1'000'000, 'a'))),
             QStringLiteral("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"));
    const QByteArray big = QByteArray(3 * 1024 * 1024 + 5, 'x');
    QCOMPARE(Installer::sha256(writeFile(m_dir->filePath(QStringLiteral("big")), big)),
             QString::fromLatin1(QCryptographicHash::hash(big, QCryptographicHash::Sha256).toHex()));
}

void VerifyTest::verifyRules_data()
{
    QTest::addColumn<qint64>("expectedSize");
    QTest::addColumn<QString>("expectedSHA"); // "-" for none
    QTest::addColumn<QString>("result"); // the verdict, or the failure's message
    QTest::addColumn<QString>("details");
    const QString sizeOnly
        = QStringLiteral("Size matches. No checksum is published for this release, so only the size was checked.");
    const QString both = QStringLiteral("Size and SHA-256 checksum match the published values.");
    const QString wrongSize
        = QStringLiteral("The downloaded file is the wrong size, so it may be incomplete. Please try again.");
    const QString wrongSum = QStringLiteral(
        "The downloaded file doesn't match the published checksum, so it was not installed. Please try again.");
    const QString other = QStringLiteral("AB").repeated(32);

    QTest::newRow("size not compared at 0") << qint64(0) << "-" << sizeOnly << QString();
    QTest::newRow("size matches") << qint64(3) << "-" << sizeOnly << QString();
    QTest::newRow("size differs") << qint64(4) << abcSha << wrongSize << "Expected 4 bytes, got 3.";
    QTest::newRow("checksum matches") << qint64(3) << abcSha << both << QString();
    QTest::newRow("upper-case checksum matches") << qint64(-1) << abcSha.toUpper() << both << QString();
    QTest::newRow("checksum differs, published case kept")
        << qint64(3) << other << wrongSum
        << QString(QStringLiteral("Expected SHA-256 ") + other + QStringLiteral("\nGot      ") + abcSha);
    QTest::newRow("blanks never match") << qint64(3) << QString(QLatin1Char(' ') + abcSha) << wrongSum
                                        << QString(QStringLiteral("Expected SHA-256  ") + abcSha
                                                   + QStringLiteral("\nGot      ") + abcSha);
}

void VerifyTest::verifyRules()
{
    QFETCH(qint64, expectedSize);
    QFETCH(QString, expectedSHA);
    QFETCH(QString, result);
    QFETCH(QString, details);
    const QString file = writeFile(m_dir->filePath(QStringLiteral("OpenEmu.dmg")), "abc");
    const std::optional<QString> sha = expectedSHA == QStringLiteral("-") ? std::nullopt : std::optional(expectedSHA);
    try {
        QCOMPARE(Installer::verify(file, expectedSize, sha), result);
        QVERIFY(details.isEmpty());
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, result);
        QCOMPARE(e.details, details);
    }
}

void VerifyTest::verifyMissingFileIsAFileError()
{
    QVERIFY_THROWS_EXCEPTION(PlatformError,
                             Installer::verify(m_dir->filePath(QStringLiteral("gone.dmg")), 0, std::nullopt));
    QVERIFY_THROWS_EXCEPTION(PlatformError, Installer::sha256(m_dir->filePath(QStringLiteral("gone.dmg"))));
}

void VerifyTest::sizes()
{
    const QString folder = m_dir->filePath(QStringLiteral("data"));
    const QString ten = writeFile(folder + QStringLiteral("/ten"), QByteArray(10, 'x'));
    QCOMPARE(FileUtil::size(ten), qint64(10));
    QCOMPARE(FileUtil::size(folder), allocated(ten));
    QVERIFY(FileUtil::size(folder) >= 512); // blocks, not the 10-byte length

    // Hidden files and nested folders count; a link is not followed, even to a folder.
    const QString hidden = writeFile(folder + QStringLiteral("/.hidden/deep/file"), QByteArray(5000, 'y'));
    const QString outside = writeFile(m_dir->filePath(QStringLiteral("outside/big")), QByteArray(100'000, 'z'));
    QVERIFY(QFile::link(outside, folder + QStringLiteral("/link-to-file")));
    QVERIFY(QFile::link(QFileInfo(outside).path(), folder + QStringLiteral("/link-to-folder")));
    QCOMPARE(FileUtil::size(folder), allocated(ten) + allocated(hidden));

    QCOMPARE(FileUtil::size(m_dir->filePath(QStringLiteral("missing"))), qint64(0));
}

void VerifyTest::freeSpace()
{
    const auto space = FileUtil::freeSpace(m_dir->path());
    QVERIFY(space.has_value());
    QVERIFY(*space > 0);
    QVERIFY(!FileUtil::freeSpace(m_dir->filePath(QStringLiteral("no/such/volume"))));
}

VANTOR_TEST_CLASS(VerifyTest)
#include "VerifyTest.moc"
