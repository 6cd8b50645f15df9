#include "TestFiles.h"
#include "TestMain.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "install/Installer.h"
#include "platform/FileUtil.h"

#include <QtTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

qint64 allocated(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : -1;
}

const QString abcSha = u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s;

} // namespace

class VerifyTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void verifyRules_data()
    {
        QTest::addColumn<qint64>("expectedSize");
        QTest::addColumn<QString>("expectedSHA"); // "-" for none
        QTest::addColumn<QString>("result"); // the verdict, or the failure's message
        QTest::addColumn<QString>("details");
        const QString sizeOnly
            = u"Size matches. No checksum is published for this release, so only the size was checked."_s;
        const QString both = u"Size and SHA-256 checksum match the published values."_s;
        const QString wrongSize
            = u"The downloaded file is the wrong size, so it may be incomplete. Please try again."_s;
        const QString wrongSum = QStringLiteral(
            "The downloaded file doesn't match the published checksum, so it was not installed. Please try again.");
        const QString other = u"AB"_s.repeated(32);

        QTest::newRow("size not compared at 0") << qint64(0) << u"-"_s << sizeOnly << QString();
        QTest::newRow("size matches") << qint64(3) << u"-"_s << sizeOnly << QString();
        QTest::newRow("size differs") << qint64(4) << abcSha << wrongSize << u"Expected 4 bytes, got 3."_s;
        QTest::newRow("checksum matches") << qint64(3) << abcSha << both << QString();
        QTest::newRow("upper-case checksum matches") << qint64(-1) << abcSha.toUpper() << both << QString();
        QTest::newRow("checksum differs, published case kept")
            << qint64(3) << other << wrongSum << QString(u"Expected SHA-256 "_s + other + u"\nGot      "_s + abcSha);
        QTest::newRow("blanks never match") << qint64(3) << QString(QLatin1Char(' ') + abcSha) << wrongSum
                                            << QString(u"Expected SHA-256  "_s + abcSha + u"\nGot      "_s + abcSha);
    }

    void verifyRules()
    {
        QFETCH(qint64, expectedSize);
        QFETCH(QString, expectedSHA);
        QFETCH(QString, result);
        QFETCH(QString, details);
        const QString file = TestFiles::write(m_dir->filePath(u"OpenEmu.dmg"_s), "abc");
        const std::optional<QString> sha = expectedSHA == u"-"_s ? std::nullopt : std::optional(expectedSHA);
        try {
            QCOMPARE(Installer::verify(file, expectedSize, sha), result);
            QVERIFY(details.isEmpty());
        } catch (const FriendlyError &e) {
            QCOMPARE(e.message, result);
            QCOMPARE(e.details, details);
        }
    }

    void verifyMissingFileIsAFileError()
    {
        QVERIFY_THROWS_EXCEPTION(PlatformError, Installer::verify(m_dir->filePath(u"gone.dmg"_s), 0, std::nullopt));
        QVERIFY_THROWS_EXCEPTION(PlatformError, Installer::sha256(m_dir->filePath(u"gone.dmg"_s)));
    }

    void sizes()
    {
        const QString folder = m_dir->filePath(u"data"_s);
        const QString ten = TestFiles::write(folder + u"/ten"_s, QByteArray(10, 'x'));
        QCOMPARE(FileUtil::size(ten), qint64(10));
        QCOMPARE(FileUtil::size(folder), allocated(ten));
        QVERIFY(FileUtil::size(folder) >= 512); // blocks, not the 10-byte length

        // Hidden files and nested folders count; a link is not followed, even to a folder.
        const QString hidden = TestFiles::write(folder + u"/.hidden/deep/file"_s, QByteArray(5000, 'y'));
        const QString outside = TestFiles::write(m_dir->filePath(u"outside/big"_s), QByteArray(100'000, 'z'));
        QVERIFY(QFile::link(outside, folder + u"/link-to-file"_s));
        QVERIFY(QFile::link(QFileInfo(outside).path(), folder + u"/link-to-folder"_s));
        QCOMPARE(FileUtil::size(folder), allocated(ten) + allocated(hidden));

        QCOMPARE(FileUtil::size(m_dir->filePath(u"missing"_s)), qint64(0));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

VANTOR_TEST_CLASS(VerifyTest)
#include "VerifyTest.moc"
