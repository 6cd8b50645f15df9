#include "Bundles.h"
#include "TestFiles.h"
#include "TestHome.h"
#include "TestMain.h"
#include "Thrown.h"

#include "base/FriendlyError.h"
#include "base/Paths.h"
#include "base/PlatformError.h"
#include "install/Installer.h"
#include "install/Journal.h"
#include "install/VersionChecker.h"
#include "platform/FileOps.h"

#include <QtTest>

#include <cerrno>
#include <unistd.h>

using namespace Qt::StringLiterals;

using TestFiles::entries;
using TestSupport::thrown;

namespace {

QString versionAt(const QString &bundle)
{
    return VersionChecker::version(bundle).value_or(u"none"_s);
}

} // namespace

class PlacementTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home.reset(); }

    void cleanup() { FileOps::setMoveFaultForTesting({}); }

    void updateKeepsOneCopy()
    {
        const QString old = installed(u"1.0.3"_s);
        QDir().mkpath(previous() + u"/OpenEmu 1.0.1.app"_s);
        QDir().mkpath(previous() + u"/notes"_s);
        QDir().mkpath(apps() + u"/.Vantor-new-1.app/leftover"_s); // a run killed before its journal
        // A journal naming paths Vantor doesn't write (an app elsewhere, its neighbours) is
        // discarded, and nothing there is moved or removed.
        const QString elsewhere = m_home.path(u"elsewhere"_s);
        QDir().mkpath(elsewhere + u"/.Vantor-new-1.app"_s);
        JournalFile::write({Journal::Kind::rollback,
                            elsewhere + u"/OpenEmu.app"_s,
                            elsewhere + u"/.Vantor-new-1.app"_s,
                            previous() + u"/OpenEmu 1.0.1.app"_s,
                            previous() + u"/OpenEmu 9.app"_s,
                            elsewhere + u"/.Vantor-old-1"_s,
                            {},
                            -1,
                            1});
        QCOMPARE(Installer::recoverInterrupted(), Installer::Recovery::none);
        QVERIFY(entries(elsewhere) == QStringList{u".Vantor-new-1.app"_s} && !JournalFile::read());

        const QString placed = Installer::place(newApp(u"1.0.4"_s), apps(), old, u"1.0.3"_s);
        QCOMPARE(placed, old);
        QCOMPARE(versionAt(placed), u"1.0.4"_s);
        QCOMPARE(entries(previous()), QStringList{u"OpenEmu 1.0.3.app"_s});
        QCOMPARE(versionAt(previous() + u"/OpenEmu 1.0.3.app"_s), u"1.0.3"_s);
        QCOMPARE(entries(apps()), QStringList{u"OpenEmu.app"_s});
        QCOMPARE(Installer::previousApp(), previous() + u"/OpenEmu 1.0.3.app"_s);
    }

    void rollbackNamesWhatItKeeps()
    {
        // An app whose version can't be read is kept as the newer one.
        const QString app = Bundles::write(apps(), u"OpenEmu.app"_s, {.version = std::nullopt});
        Bundles::write(previous(), u"OpenEmu 1.0.2.app"_s, {.version = u"1.0.2"_s});
        Installer::rollback(app);
        QCOMPARE(versionAt(app), u"1.0.2"_s);
        QCOMPARE(entries(previous()), QStringList{u"OpenEmu newer.app"_s});

        // A rollback of an earlier version left the newer copy parked; it is the kept copy now.
        QDir(previous()).removeRecursively();
        Bundles::write(previous(), u".parked.app"_s, {.version = u"1.0.4"_s});
        Installer::rollback(app);
        QCOMPARE(versionAt(app), u"1.0.4"_s);
        QCOMPARE(entries(previous()), QStringList{u"OpenEmu 1.0.2.app"_s});
    }

    void rollbackWithoutKeptCopy()
    {
        const QString app = installed(u"1.0.4"_s);
        for (bool folderExists : {false, true}) {
            if (folderExists)
                QDir().mkpath(previous() + u"/not-an-app"_s);
            const auto refused = thrown<FriendlyError>([&] { Installer::rollback(app); });
            QVERIFY(refused);
            QCOMPARE(refused->message, u"There is no previous version to go back to."_s);
            QCOMPARE(refused->details, previous());
        }
        QCOMPARE(versionAt(app), u"1.0.4"_s);
    }

    void placeFailures()
    {
        const QString fresh = newApp(u"1.0.4"_s);

        // Destination cannot be created: its parent is a file.
        TestFiles::write(m_home.path(u"file"_s));
        QVERIFY_THROWS_EXCEPTION(
            PlatformError, Installer::place(fresh, m_home.path(u"file/Applications"_s), std::nullopt, std::nullopt));

        // Copy to staging fails: the tool's own message; nothing changes.
        const QString app = installed(u"1.0.3"_s);
        Bundles::write(previous(), u"OpenEmu 1.0.1.app"_s, {.version = u"1.0.1"_s});
        const auto copy = thrown<FriendlyError>(
            [&] { Installer::place(m_home.path(u"gone/OpenEmu.app"_s), apps(), app, u"1.0.3"_s); });
        QVERIFY(copy && copy->message == u"A system tool (cp) reported a problem."_s);

        // A failure at each later step: setting the kept copy aside, the swap, keeping the old app
        // (a real failure: a name too long for the file system). Every time the app is whole, the
        // earlier kept copy is back, and nothing of the run is left.
        const auto failing = [](const QString &fragment) {
            FileOps::setMoveFaultForTesting([fragment](const QString &from, const QString &to) -> std::optional<int> {
                return from.contains(fragment) || to.contains(fragment) ? std::optional(EIO) : std::nullopt;
            });
        };
        for (const QString &step : {u".Vantor-aside-"_s, u"/OpenEmu.app"_s, QString()}) {
            if (step.isEmpty())
                FileOps::setMoveFaultForTesting({});
            else
                failing(step);
            const QString label = step.isEmpty() ? QString(300, QLatin1Char('9')) : u"1.0.3"_s;
            // place() takes the work copy it is given: each run gets a new one.
            QVERIFY_THROWS_EXCEPTION(PlatformError, Installer::place(newApp(u"1.0.4"_s), apps(), app, label));
            QCOMPARE(versionAt(app), u"1.0.3"_s);
            QCOMPARE(entries(apps()), QStringList{u"OpenEmu.app"_s});
            QCOMPARE(entries(previous()), QStringList{u"OpenEmu 1.0.1.app"_s});
            QVERIFY(!QFileInfo::exists(JournalFile::path()));
        }
        FileOps::setMoveFaultForTesting({});

        // A file system that cannot swap in one step: the three-rename fallback.
        auto refused = std::make_shared<bool>(false); // the exchange is the first such step; the renames follow
        FileOps::setMoveFaultForTesting([refused](const QString &from, const QString &to) -> std::optional<int> {
            if (*refused || !from.contains(u".Vantor-new-"_s) || !to.endsWith(u"/OpenEmu.app"_s))
                return std::nullopt;
            *refused = true;
            return EXDEV;
        });
        Installer::place(newApp(u"1.0.4"_s), apps(), app, u"1.0.3"_s);
        QCOMPARE(versionAt(app), u"1.0.4"_s);
        QCOMPARE(entries(previous()), QStringList{u"OpenEmu 1.0.3.app"_s});
        QCOMPARE(entries(apps()), QStringList{u"OpenEmu.app"_s});
    }

    void placeNotWritable()
    {
        if (::geteuid() == 0)
            QSKIP("root may write anywhere; this check needs an ordinary user");
        const QString locked = m_home.path(u"Locked"_s);
        QDir().mkpath(locked);
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
        const auto refused
            = thrown<FriendlyError>([&] { Installer::place(newApp(u"1.0.4"_s), locked, std::nullopt, std::nullopt); });
        QVERIFY(refused);
        QCOMPARE(refused->message,
                 u"Vantor can't write to %1. Choose your own Applications folder instead."_s.arg(locked));
        QCOMPARE(refused->details, u"Not writable: "_s + locked);
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void rollbackFailures()
    {
        // The installed app is gone: nothing changes.
        Bundles::write(previous(), u"OpenEmu 1.0.3.app"_s, {.version = u"1.0.3"_s});
        QVERIFY_THROWS_EXCEPTION(PlatformError, Installer::rollback(apps() + u"/OpenEmu.app"_s));
        QCOMPARE(entries(previous()), QStringList{u"OpenEmu 1.0.3.app"_s});

        // The kept copy cannot be brought across, or the swap fails: both stay as they were.
        const QString app = installed(u"1.0.4"_s);
        for (const QString &fragment : {u"/OpenEmu 1.0.3.app"_s, u"/OpenEmu.app"_s}) {
            FileOps::setMoveFaultForTesting([fragment](const QString &from, const QString &to) -> std::optional<int> {
                return from.endsWith(fragment) || to.endsWith(fragment) ? std::optional(EIO) : std::nullopt;
            });
            QVERIFY_THROWS_EXCEPTION(PlatformError, Installer::rollback(app));
            QCOMPARE(versionAt(app), u"1.0.4"_s);
            QCOMPARE(entries(previous()), QStringList{u"OpenEmu 1.0.3.app"_s});
            QCOMPARE(entries(apps()), QStringList{u"OpenEmu.app"_s});
        }
        FileOps::setMoveFaultForTesting({});

        // A version that holds "/" still names a kept copy.
        FileOps::removeItem(app);
        Bundles::write(apps(), u"OpenEmu.app"_s, {.version = u"2.0/beta"_s});
        Installer::rollback(app);
        QCOMPARE(versionAt(app), u"1.0.3"_s);
        QCOMPARE(entries(previous()), QStringList{u"OpenEmu 2.0-beta.app"_s});
        Installer::rollback(app);
        QCOMPARE(versionAt(app), u"2.0/beta"_s);
    }

private:
    QString newApp(const QString &version)
    {
        return Bundles::write(m_home.path(u"work/extracted"_s), u"OpenEmu.app"_s, {.version = version});
    }

    QString installed(const QString &version) { return Bundles::write(apps(), u"OpenEmu.app"_s, {.version = version}); }

    QString apps() const { return m_home.userApplications(); }
    QString previous() const { return Paths::previousVersionsFolder(); }

    TestHome &m_home = TestHome::shared();
};

VANTOR_TEST_CLASS(PlacementTest)
#include "PlacementTest.moc"
