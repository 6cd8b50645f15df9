#include "Bundles.h"
#include "TestMain.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "install/Installer.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemTools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString fixtures = QStringLiteral(VANTOR_FIXTURES);

// Runs a tool for building test archives; fails the test program if it fails.
void tool(const QString &program, const QStringList &arguments, const QString &cwd)
{
    QProcess process;
    process.setWorkingDirectory(cwd);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60'000) || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAll().constData());
}

} // namespace

class ExtractTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void runnerOutputAndFailures();
    void runnerPassesArgumentsWithoutAShell();

    void findAppChoices();
    void findAppIgnoresLinksAndMacOSX();

    void zipKeepsLinksAndModes();
    void zipWithoutApp();
    void tarIsNotAZip();
    void realDiskImagesWithoutApp_data();
    void realDiskImagesWithoutApp();
    void diskImageWithApp();

private:
    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    QString work() const { return path(QStringLiteral("work")); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void ExtractTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QDir().mkpath(work());
}

void ExtractTest::runnerOutputAndFailures()
{
    QCOMPARE(
        ProcessRunner::run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2")}),
        QStringLiteral("out\nerr\n"));
    // Input is the null device: a tool that reads it ends at once.
    QCOMPARE(ProcessRunner::run(QStringLiteral("/bin/cat"), {}), QString());
    QCOMPARE(ProcessRunner::run(QStringLiteral("/bin/pwd"), {}, m_dir->path()).trimmed(), m_dir->path());

    try {
        ProcessRunner::run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo broken; exit 3")});
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, QStringLiteral("A system tool (sh) reported a problem."));
        QCOMPARE(e.details, QStringLiteral("/bin/sh -c echo broken; exit 3\nexit status 3\nbroken\n"));
    }
    try {
        ProcessRunner::run(QStringLiteral("/bin/sh"),
                           {QStringLiteral("-c"), QStringLiteral("echo 'write: No Space Left on device' >&2; exit 1")});
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, QStringLiteral("Your disk is full. Free up some space and try again."));
    }
    QVERIFY_THROWS_EXCEPTION(PlatformError, ProcessRunner::run(path(QStringLiteral("no-such-tool")), {}));
}

void ExtractTest::runnerPassesArgumentsWithoutAShell()
{
    const QString odd = QStringLiteral("$(touch %1) ; *").arg(path(QStringLiteral("pwned")));
    QCOMPARE(ProcessRunner::run(QStringLiteral("/bin/echo"), {odd}), odd + QLatin1Char('\n'));
    QVERIFY(!QFile::exists(path(QStringLiteral("pwned"))));
}

void ExtractTest::findAppChoices()
{
    const QString both = path(QStringLiteral("both"));
    Bundles::write(both, QStringLiteral("Extras.app"));
    Bundles::write(both, QStringLiteral("OpenEmu.app"));
    QCOMPARE(Installer::findApp(both), both + QStringLiteral("/OpenEmu.app"));

    const QString lower = path(QStringLiteral("lower"));
    Bundles::write(lower, QStringLiteral("Extras.app"));
    Bundles::write(lower, QStringLiteral("openemu-silicon.app"));
    QCOMPARE(Installer::findApp(lower), lower + QStringLiteral("/openemu-silicon.app"));

    const QString other = path(QStringLiteral("other"));
    Bundles::write(other, QStringLiteral("Other.app"));
    QCOMPARE(Installer::findApp(other), other + QStringLiteral("/Other.app"));

    // The first level that holds any app wins; deeper folders are searched in order.
    const QString nested = path(QStringLiteral("nested"));
    Bundles::write(nested + QStringLiteral("/a/b/c"), QStringLiteral("OpenEmu.app"));
    QDir().mkpath(nested + QStringLiteral("/0-empty"));
    QCOMPARE(Installer::findApp(nested), nested + QStringLiteral("/a/b/c/OpenEmu.app"));

    QVERIFY(!Installer::findApp(path(QStringLiteral("missing"))));
}

void ExtractTest::findAppIgnoresLinksAndMacOSX()
{
    const QString outside = path(QStringLiteral("outside"));
    Bundles::write(outside, QStringLiteral("OpenEmu.app"));

    const QString tree = path(QStringLiteral("tree"));
    QDir().mkpath(tree);
    QVERIFY(QFile::link(outside + QStringLiteral("/OpenEmu.app"), tree + QStringLiteral("/OpenEmu.app")));
    QVERIFY(QFile::link(outside, tree + QStringLiteral("/folder-link")));
    Bundles::write(tree + QStringLiteral("/__MACOSX"), QStringLiteral("OpenEmu.app"));
    QVERIFY(!Installer::findApp(tree));

    Bundles::write(tree + QStringLiteral("/z"), QStringLiteral("Real.app"));
    QCOMPARE(Installer::findApp(tree), tree + QStringLiteral("/z/Real.app"));
}

void ExtractTest::zipKeepsLinksAndModes()
{
    const QString source = path(QStringLiteral("src"));
    const QString app = Bundles::write(source + QStringLiteral("/OpenEmu-Silicon"), QStringLiteral("OpenEmu.app"),
                                       {.executableSource = Bundles::sampleApp()});
    QDir().mkpath(app + QStringLiteral("/Contents/Frameworks/Core.framework/Versions/A"));
    QVERIFY(
        QFile::link(QStringLiteral("Versions/A"), app + QStringLiteral("/Contents/Frameworks/Core.framework/Current")));
    Bundles::write(source + QStringLiteral("/__MACOSX/OpenEmu-Silicon"), QStringLiteral("._OpenEmu.app"));
    tool(QStringLiteral("zip"),
         {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-y"), path(QStringLiteral("OpenEmu.zip")),
          QStringLiteral("OpenEmu-Silicon"), QStringLiteral("__MACOSX")},
         source);

    const QString found = Installer::extractApp(path(QStringLiteral("OpenEmu.zip")), work());
    QCOMPARE(found, work() + QStringLiteral("/extracted/OpenEmu-Silicon/OpenEmu.app"));
    const QFileInfo link(found + QStringLiteral("/Contents/Frameworks/Core.framework/Current"));
    QVERIFY(link.isSymLink());
    QCOMPARE(link.symLinkTarget(), found + QStringLiteral("/Contents/Frameworks/Core.framework/Versions/A"));
    QVERIFY(QFileInfo(found + QStringLiteral("/Contents/MacOS/OpenEmu")).isExecutable());
    QVERIFY(!QFileInfo::exists(work() + QStringLiteral("/extracted/__MACOSX")));
}

void ExtractTest::zipWithoutApp()
{
    QDir().mkpath(path(QStringLiteral("src/docs")));
    QFile(path(QStringLiteral("src/docs/readme.txt"))).open(QIODevice::WriteOnly);
    tool(QStringLiteral("zip"),
         {QStringLiteral("-q"), QStringLiteral("-r"), path(QStringLiteral("a.zip")), QStringLiteral("docs")},
         path(QStringLiteral("src")));
    try {
        Installer::extractApp(path(QStringLiteral("a.zip")), work());
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, QStringLiteral("The download doesn't contain an OpenEmu app."));
        QCOMPARE(e.details, QStringLiteral("No .app found in ") + work() + QStringLiteral("/extracted"));
    }
}

void ExtractTest::tarIsNotAZip()
{
    Bundles::write(path(QStringLiteral("src")), QStringLiteral("OpenEmu.app"));
    tool(QStringLiteral("tar"),
         {QStringLiteral("-cf"), path(QStringLiteral("OpenEmu.tar")), QStringLiteral("OpenEmu.app")},
         path(QStringLiteral("src")));
    try {
        Installer::extractApp(path(QStringLiteral("OpenEmu.tar")), work());
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, QStringLiteral("A system tool (unzip) reported a problem."));
        QVERIFY(e.details.contains(path(QStringLiteral("OpenEmu.tar"))));
    }
}

void ExtractTest::realDiskImagesWithoutApp_data()
{
    QTest::addColumn<QString>("image");
    QTest::newRow("zlib") << QStringLiteral("hfsplus_zlib.dmg");
    QTest::newRow("lzfse") << QStringLiteral("hfsplus_lzfse.dmg");
}

void ExtractTest::realDiskImagesWithoutApp()
{
    QFETCH(QString, image);
    if (!QFileInfo::exists(fixtures + QStringLiteral("/dmg/") + image))
        QSKIP("the disk images made on a Mac are not beside this checkout (../shared/fixtures)");
    const QString mount = work() + QStringLiteral("/mount");
    try {
        Installer::extractApp(fixtures + QStringLiteral("/dmg/") + image, work());
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, QStringLiteral("The disk image doesn't contain an OpenEmu app."));
        QCOMPARE(e.details, QStringLiteral("No .app found in ") + mount);
    }
    QVERIFY(!QFileInfo::exists(mount)); // closed again

    // The image was really opened: its volume's files were there to search.
    SystemTools::attachDiskImage(fixtures + QStringLiteral("/dmg/") + image, mount);
    QVERIFY(QFileInfo(mount + QStringLiteral("/hfsplus_test/testdir1")).isDir());
    SystemTools::detachDiskImage(mount);
    QVERIFY(!QFileInfo::exists(mount));
}

void ExtractTest::diskImageWithApp()
{
    const QString volume = path(QStringLiteral("volume"));
    const QString app = Bundles::write(volume, QStringLiteral("OpenEmu.app"),
                                       {.version = QStringLiteral("1.0.4"), .executableSource = Bundles::sampleApp()});
    QVERIFY(QFile::link(QStringLiteral("/Applications"), volume + QStringLiteral("/Applications")));
    // An ISO 9660 image with Rock Ridge (modes and links) under a disk image's name: 7-Zip
    // opens it the way it opens a UDIF image.
    tool(QStringLiteral("genisoimage"),
         {QStringLiteral("-quiet"), QStringLiteral("-R"), QStringLiteral("-V"), QStringLiteral("OpenEmu"),
          QStringLiteral("-o"), path(QStringLiteral("OpenEmu.DMG")), volume},
         m_dir->path());

    const QString found = Installer::extractApp(path(QStringLiteral("OpenEmu.DMG")), work());
    QCOMPARE(found, work() + QStringLiteral("/extracted/OpenEmu.app"));
    QVERIFY(QFileInfo(found + QStringLiteral("/Contents/MacOS/OpenEmu")).isExecutable());
    QVERIFY(QFileInfo::exists(found + QStringLiteral("/Contents/Info.plist")));
    QVERIFY(!QFileInfo::exists(work() + QStringLiteral("/mount")));
    QVERIFY(QFileInfo(app).isDir());
}

VANTOR_TEST_CLASS(ExtractTest)
#include "ExtractTest.moc"
