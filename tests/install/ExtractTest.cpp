#include "Bundles.h"
#include "TestFiles.h"
#include "TestMain.h"
#include "Thrown.h"

#include "base/FriendlyError.h"
#include "base/PlatformError.h"
#include "install/Installer.h"
#include "platform/BundleLinks.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemTools.h"

#include <QtTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

using TestSupport::thrown;

namespace {

const QString fixtures = QStringLiteral(VANTOR_FIXTURES);

// Test archives are built with the same runner the app uses for its tools.
using ProcessRunner::run;

} // namespace

class ExtractTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(work());
    }

    void runnerOutputAndFailures()
    {
        QCOMPARE(ProcessRunner::run(u"/bin/sh"_s, {u"-c"_s, u"echo out; echo err >&2"_s}), u"out\nerr\n"_s);
        // Input is the null device: a tool that reads it ends at once.
        QCOMPARE(ProcessRunner::run(u"/bin/cat"_s, {}), QString());
        QCOMPARE(ProcessRunner::run(u"/bin/pwd"_s, {}, m_dir->path()).trimmed(), m_dir->path());

        const auto broken = thrown<FriendlyError>([] {
            ProcessRunner::run(u"/bin/sh"_s, {u"-c"_s, u"echo broken; exit 3"_s});
        });
        QVERIFY(broken);
        QCOMPARE(broken->message, u"A system tool (sh) reported a problem."_s);
        QCOMPARE(broken->details, u"/bin/sh -c echo broken; exit 3\nexit status 3\nbroken\n"_s);
        const auto full = thrown<FriendlyError>([] {
            ProcessRunner::run(u"/bin/sh"_s, {u"-c"_s, u"echo 'write: No Space Left on device' >&2; exit 1"_s});
        });
        QVERIFY(full && full->message == u"Your disk is full. Free up some space and try again."_s);
        QVERIFY_THROWS_EXCEPTION(PlatformError, ProcessRunner::run(path(u"no-such-tool"_s), {}));
    }

    void runnerPassesArgumentsWithoutAShell()
    {
        const QString odd = u"$(touch %1) ; *"_s.arg(path(u"pwned"_s));
        QCOMPARE(ProcessRunner::run(u"/bin/echo"_s, {odd}), odd + QLatin1Char('\n'));
        QVERIFY(!QFile::exists(path(u"pwned"_s)));
    }

    void findAppChoices()
    {
        const QString lower = path(u"lower"_s);
        Bundles::write(lower, u"Extras.app"_s);
        Bundles::write(lower, u"openemu-silicon.app"_s);
        QCOMPARE(Installer::findApp(lower), lower + u"/openemu-silicon.app"_s);

        const QString other = path(u"other"_s);
        Bundles::write(other, u"Other.app"_s);
        QCOMPARE(Installer::findApp(other), other + u"/Other.app"_s);

        // The first level that holds any app wins; deeper folders are searched in order.
        const QString nested = path(u"nested"_s);
        Bundles::write(nested + u"/a/b/c"_s, u"OpenEmu.app"_s);
        QDir().mkpath(nested + u"/0-empty"_s);
        QCOMPARE(Installer::findApp(nested), nested + u"/a/b/c/OpenEmu.app"_s);

        QVERIFY(!Installer::findApp(path(u"missing"_s)));
    }

    void findAppIgnoresLinksAndMacOSX()
    {
        const QString outside = path(u"outside"_s);
        Bundles::write(outside, u"OpenEmu.app"_s);

        const QString tree = path(u"tree"_s);
        QDir().mkpath(tree);
        QVERIFY(QFile::link(outside + u"/OpenEmu.app"_s, tree + u"/OpenEmu.app"_s));
        QVERIFY(QFile::link(outside, tree + u"/folder-link"_s));
        Bundles::write(tree + u"/__MACOSX"_s, u"OpenEmu.app"_s);
        QVERIFY(!Installer::findApp(tree));

        Bundles::write(tree + u"/z"_s, u"Real.app"_s);
        QCOMPARE(Installer::findApp(tree), tree + u"/z/Real.app"_s);
    }

    void zipKeepsLinksAndModes()
    {
        const QString source = path(u"src"_s);
        const QString app = Bundles::write(source + u"/OpenEmu-Silicon"_s, u"OpenEmu.app"_s,
                                           {.executableSource = Bundles::sampleApp()});
        QDir().mkpath(app + u"/Contents/Frameworks/Core.framework/Versions/A"_s);
        QVERIFY(QFile::link(u"Versions/A"_s, app + u"/Contents/Frameworks/Core.framework/Current"_s));
        Bundles::write(source + u"/__MACOSX/OpenEmu-Silicon"_s, u"._OpenEmu.app"_s);
        run(u"zip"_s, {u"-q"_s, u"-r"_s, u"-y"_s, path(u"OpenEmu.zip"_s), u"OpenEmu-Silicon"_s, u"__MACOSX"_s}, source);

        const QString found = Installer::extractApp(path(u"OpenEmu.zip"_s), work());
        QCOMPARE(found, work() + u"/extracted/OpenEmu-Silicon/OpenEmu.app"_s);
        const QFileInfo link(found + u"/Contents/Frameworks/Core.framework/Current"_s);
        QVERIFY(link.isSymLink());
        QCOMPARE(link.symLinkTarget(), found + u"/Contents/Frameworks/Core.framework/Versions/A"_s);
        QVERIFY(QFileInfo(found + u"/Contents/MacOS/OpenEmu"_s).isExecutable());
        QVERIFY(!QFileInfo::exists(work() + u"/extracted/__MACOSX"_s));

        // Writable by its user only, and never set-ID, whatever the archive said.
        const QByteArray contents = QFile::encodeName(found + u"/Contents"_s);
        const QByteArray program = contents + "/MacOS/OpenEmu";
        QVERIFY(::chmod(contents, 0777) == 0 && ::chmod(program, 06777) == 0);
        Installer::tightenPermissions(found);
        struct stat folder, file;
        QVERIFY(::stat(contents, &folder) == 0 && ::stat(program, &file) == 0);
        QVERIFY((folder.st_mode & 07777) == 0755 && (file.st_mode & 07777) == 0755);
    }

    void zipWithoutApp()
    {
        TestFiles::write(path(u"src/docs/readme.txt"_s));
        run(u"zip"_s, {u"-q"_s, u"-r"_s, path(u"a.zip"_s), u"docs"_s}, path(u"src"_s));
        const auto refused = thrown<FriendlyError>([&] { Installer::extractApp(path(u"a.zip"_s), work()); });
        QVERIFY(refused);
        QCOMPARE(refused->message, u"The download doesn't contain an OpenEmu app."_s);
        QCOMPARE(refused->details, u"No .app found in "_s + work() + u"/extracted"_s);
    }

    void realDiskImagesWithoutApp_data()
    {
        QTest::addColumn<QString>("image");
        QTest::newRow("zlib") << u"hfsplus_zlib.dmg"_s;
        QTest::newRow("lzfse") << u"hfsplus_lzfse.dmg"_s;
    }

    void realDiskImagesWithoutApp()
    {
        QFETCH(QString, image);
        if (!QFileInfo::exists(fixtures + u"/dmg/"_s + image))
            QSKIP("the disk images made on a Mac are not beside this checkout (../shared/fixtures)");
        const QString mount = work() + u"/mount"_s;
        const auto refused
            = thrown<FriendlyError>([&] { Installer::extractApp(fixtures + u"/dmg/"_s + image, work()); });
        QVERIFY(refused);
        QCOMPARE(refused->message, u"The disk image doesn't contain an OpenEmu app."_s);
        QCOMPARE(refused->details, u"No .app found in "_s + mount);
        QVERIFY(!QFileInfo::exists(mount)); // closed again

        // The image was really opened: its volume's files were there to search.
        SystemTools::attachDiskImage(fixtures + u"/dmg/"_s + image, mount);
        QVERIFY(QFileInfo(mount + u"/hfsplus_test/testdir1"_s).isDir());
        SystemTools::detachDiskImage(mount);
        QVERIFY(!QFileInfo::exists(mount));
    }

    void diskImageWithApp()
    {
        const QString volume = path(u"volume"_s);
        const QString app = Bundles::write(volume, u"OpenEmu.app"_s,
                                           {.version = u"1.0.4"_s, .executableSource = Bundles::sampleApp()});
        QVERIFY(QFile::link(u"/Applications"_s, volume + u"/Applications"_s));
        // Links inside the bundle that would leave it: straight up, and up through another link.
        QDir().mkpath(app + u"/Contents/Resources"_s);
        QVERIFY(QFile::link(u"../../.."_s, app + u"/Contents/Resources/escape"_s));
        QVERIFY(QFile::link(u"../MacOS"_s, app + u"/Contents/Resources/bin"_s));
        QVERIFY(QFile::link(u"bin/../../../.."_s, app + u"/Contents/Resources/through"_s));
        // An ISO 9660 image with Rock Ridge (modes and links) under a disk image's name: 7-Zip
        // opens it the way it opens a UDIF image.
        const auto image = [this](const QString &name, const QString &folder) {
#ifdef Q_OS_MACOS
            run(u"hdiutil"_s,
                {u"create"_s, u"-quiet"_s, u"-fs"_s, u"HFS+"_s, u"-volname"_s, u"OpenEmu"_s, u"-srcfolder"_s, folder,
                 u"-format"_s, u"UDZO"_s, u"-ov"_s, path(name)},
                m_dir->path());
#else
            run(u"genisoimage"_s, {u"-quiet"_s, u"-R"_s, u"-V"_s, u"OpenEmu"_s, u"-o"_s, path(name), folder},
                m_dir->path());
#endif
            return path(name);
        };

        const QString found = Installer::extractApp(image(u"OpenEmu.DMG"_s, volume), work());
        QCOMPARE(found, work() + u"/extracted/OpenEmu.app"_s);
        QVERIFY(QFileInfo(found + u"/Contents/MacOS/OpenEmu"_s).isExecutable());
        QVERIFY(QFileInfo::exists(found + u"/Contents/Info.plist"_s));
        QCOMPARE(QFileInfo(found + u"/Contents/Resources/bin"_s).symLinkTarget(), found + u"/Contents/MacOS"_s);
        QVERIFY(!QFileInfo(found + u"/Contents/Resources/escape"_s).isSymLink());
        QVERIFY(!QFileInfo(found + u"/Contents/Resources/through"_s).isSymLink());
        QVERIFY(!QFileInfo::exists(work() + u"/mount"_s));
        QVERIFY(QFileInfo(app).isDir());

        // Only the app's folder is unpacked, not the rest of the volume.
        QDir().mkpath(volume + u"/Extras"_s);
        const QString mount = work() + u"/mount"_s;
        QDir().mkpath(mount);
        SystemTools::attachDiskImage(image(u"extras.dmg"_s, volume), mount);
#ifdef Q_OS_MACOS
        // The Mac mounts the whole volume; only the app is copied out of it.
        QVERIFY(QDir(mount).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).contains(u"Extras"_s));
        SystemTools::detachDiskImage(mount);
#else
        QCOMPARE(QDir(mount).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{u"OpenEmu.app"_s});
#endif

        // An image whose only app is a link to one outside it has no app.
        const QString linkOnly = path(u"link-only"_s);
        QDir().mkpath(linkOnly);
        QVERIFY(QFile::link(app, linkOnly + u"/OpenEmu.app"_s));
        QDir(work()).removeRecursively();
        const auto refused
            = thrown<FriendlyError>([&] { Installer::extractApp(image(u"link-only.dmg"_s, linkOnly), work()); });
        QVERIFY(refused && refused->message == u"The disk image doesn't contain an OpenEmu app."_s);

        // A link whose name holds a line break: 7-Zip lists it as "b_in", so on Linux it isn't
        // made; the Mac's copy keeps names as they are, and the link stays inside the bundle.
        QVERIFY(QFile::link(u"MacOS"_s, app + u"/Contents/b\nin"_s));
        QDir(work()).removeRecursively();
        const QString odd = Installer::extractApp(image(u"odd.dmg"_s, volume), work());
#ifdef Q_OS_MACOS
        QVERIFY(QFileInfo(odd + u"/Contents/b\nin"_s).isSymLink());
#else
        QVERIFY(!QFileInfo(odd + u"/Contents/b\nin"_s).isSymLink());
#endif
    }

    // The rule the Mac's copy is judged by after ditto (which keeps every link), on a bundle on
    // disk: what leaves the bundle goes, what stays inside stays.
    void linksLeavingACopiedBundleGo()
    {
        const QString app = path(u"copied/OpenEmu.app"_s);
        QDir().mkpath(app + u"/Contents/Frameworks/Kit.framework/Versions/A"_s);
        QDir().mkpath(app + u"/Contents/Resources"_s);
        const auto link
            = [&](const QString &target, const QString &at) { QVERIFY(QFile::link(target, app + u'/' + at)); };
        link(u"A"_s, u"Contents/Frameworks/Kit.framework/Versions/Current"_s);
        link(u"Versions/Current/Kit"_s, u"Contents/Frameworks/Kit.framework/Kit"_s);
        link(u"../MacOS"_s, u"Contents/Resources/bin"_s);
        link(u"./../Info.plist"_s, u"Contents/Resources/info"_s);
        link(u"../../.."_s, u"Contents/Resources/escape"_s);
        link(u"bin/../../../.."_s, u"Contents/Resources/through"_s);
        link(u"/Applications"_s, u"Contents/Resources/absolute"_s);
        link(u".."_s, u"top"_s);
        link(path(u"copied"_s), u"Contents/Resources/outside"_s);

        QStringList dropped = BundleLinks::dropLeaving(app);
        dropped.sort();
        QCOMPARE(dropped, (QStringList{u"Contents/Resources/absolute"_s, u"Contents/Resources/escape"_s,
                                       u"Contents/Resources/outside"_s, u"Contents/Resources/through"_s, u"top"_s}));
        for (const QString &kept :
             {u"Contents/Frameworks/Kit.framework/Versions/Current"_s, u"Contents/Frameworks/Kit.framework/Kit"_s,
              u"Contents/Resources/bin"_s, u"Contents/Resources/info"_s})
            QVERIFY2(QFileInfo(app + u'/' + kept).isSymLink(), qPrintable(kept));
        QVERIFY(QFileInfo(path(u"copied"_s)).isDir()); // a link's target is never touched
    }

private:
    QString path(const QString &relative) const
    {
        return m_dir->filePath(relative);
    }
    QString work() const
    {
        return path(u"work"_s);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

VANTOR_TEST_CLASS(ExtractTest)
#include "ExtractTest.moc"
