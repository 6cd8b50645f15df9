#include "Bundles.h"
#include "TestHome.h"
#include "TestMain.h"

#include "base/FriendlyError.h"
#include "base/Paths.h"
#include "base/PlatformError.h"
#include "install/Installer.h"
#include "install/Journal.h"
#include "install/VersionChecker.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cerrno>
#include <unistd.h>

namespace {

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString versionAt(const QString &bundle)
{
    return VersionChecker::version(bundle).value_or(QStringLiteral("none"));
}

} // namespace

class PlacementTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { FileOps::setMoveFaultForTesting({}); }

    void freshInstallCreatesFolder();
    void updateKeepsOneCopy();
    void keptCopyNames_data();
    void keptCopyNames();
    void rollbackTwiceReturns();
    void rollbackNamesUnreadableVersionNewer();
    void rollbackWithoutKeptCopy();
    void leftoverParkedCopyIsKept();

    void placeFailures();
    void placeNotWritable();
    void rollbackFailures();

private:
    QString newApp(const QString &version);
    QString installed(const QString &version);
    QString apps() const { return m_home.userApplications(); }
    QString previous() const { return Paths::previousVersionsFolder(); }

    TestHome &m_home = TestHome::shared();
};

void PlacementTest::init()
{
    m_home.reset();
}

QString PlacementTest::newApp(const QString &version)
{
    return Bundles::write(m_home.path(QStringLiteral("work/extracted")), QStringLiteral("OpenEmu.app"),
                          {.version = version});
}

QString PlacementTest::installed(const QString &version)
{
    return Bundles::write(apps(), QStringLiteral("OpenEmu.app"), {.version = version});
}

void PlacementTest::freshInstallCreatesFolder()
{
    const QString placed = Installer::place(newApp(QStringLiteral("1.0.4")), apps(), std::nullopt, std::nullopt);
    QCOMPARE(placed, apps() + QStringLiteral("/OpenEmu.app"));
    QCOMPARE(versionAt(placed), QStringLiteral("1.0.4"));
    QCOMPARE(entries(apps()), QStringList{QStringLiteral("OpenEmu.app")});
    QVERIFY(!QFileInfo::exists(previous()));
}

void PlacementTest::updateKeepsOneCopy()
{
    const QString old = installed(QStringLiteral("1.0.3"));
    QDir().mkpath(previous() + QStringLiteral("/OpenEmu 1.0.1.app"));
    QDir().mkpath(previous() + QStringLiteral("/notes"));
    QDir().mkpath(apps() + QStringLiteral("/.Vantor-new-1.app/leftover")); // a run killed before its journal
    QCOMPARE(Installer::recoverInterrupted(), Installer::Recovery::none);

    const QString placed = Installer::place(newApp(QStringLiteral("1.0.4")), apps(), old, QStringLiteral("1.0.3"));
    QCOMPARE(placed, old);
    QCOMPARE(versionAt(placed), QStringLiteral("1.0.4"));
    QCOMPARE(entries(previous()), QStringList{QStringLiteral("OpenEmu 1.0.3.app")});
    QCOMPARE(versionAt(previous() + QStringLiteral("/OpenEmu 1.0.3.app")), QStringLiteral("1.0.3"));
    QCOMPARE(entries(apps()), QStringList{QStringLiteral("OpenEmu.app")});
    QCOMPARE(Installer::previousApp(), previous() + QStringLiteral("/OpenEmu 1.0.3.app"));
}

void PlacementTest::keptCopyNames_data()
{
    QTest::addColumn<QString>("oldVersion"); // "-" for none
    QTest::addColumn<QString>("kept");
    QTest::newRow("no version") << "-"
                                << "OpenEmu previous.app";
    QTest::newRow("slash") << "2.0/beta"
                           << "OpenEmu 2.0-beta.app";
}

void PlacementTest::keptCopyNames()
{
    QFETCH(QString, oldVersion);
    QFETCH(QString, kept);
    const QString old = installed(QStringLiteral("x"));
    Installer::place(newApp(QStringLiteral("1.0.4")), apps(), old,
                     oldVersion == QStringLiteral("-") ? std::nullopt : std::optional(oldVersion));
    QCOMPARE(entries(previous()), QStringList{kept});
}

void PlacementTest::rollbackTwiceReturns()
{
    const QString app = installed(QStringLiteral("1.0.3"));
    Installer::place(newApp(QStringLiteral("1.0.4")), apps(), app, QStringLiteral("1.0.3"));

    Installer::rollback(app);
    QCOMPARE(versionAt(app), QStringLiteral("1.0.3"));
    QCOMPARE(entries(previous()), QStringList{QStringLiteral("OpenEmu 1.0.4.app")});

    Installer::rollback(app);
    QCOMPARE(versionAt(app), QStringLiteral("1.0.4"));
    QCOMPARE(entries(previous()), QStringList{QStringLiteral("OpenEmu 1.0.3.app")});
}

void PlacementTest::rollbackNamesUnreadableVersionNewer()
{
    const QString app = Bundles::write(apps(), QStringLiteral("OpenEmu.app"), {.version = std::nullopt});
    Bundles::write(previous(), QStringLiteral("OpenEmu 1.0.2.app"), {.version = QStringLiteral("1.0.2")});
    Installer::rollback(app);
    QCOMPARE(versionAt(app), QStringLiteral("1.0.2"));
    QCOMPARE(entries(previous()), QStringList{QStringLiteral("OpenEmu newer.app")});
}

void PlacementTest::rollbackWithoutKeptCopy()
{
    const QString app = installed(QStringLiteral("1.0.4"));
    for (bool folderExists : {false, true}) {
        if (folderExists)
            QDir().mkpath(previous() + QStringLiteral("/not-an-app"));
        try {
            Installer::rollback(app);
            QFAIL("should fail");
        } catch (const FriendlyError &e) {
            QCOMPARE(e.message, QStringLiteral("There is no previous version to go back to."));
            QCOMPARE(e.details, previous());
        }
    }
    QCOMPARE(versionAt(app), QStringLiteral("1.0.4"));
}

void PlacementTest::leftoverParkedCopyIsKept()
{
    // A rollback of an earlier version left the newer copy parked; it is the kept copy now.
    const QString app = installed(QStringLiteral("1.0.3"));
    Bundles::write(previous(), QStringLiteral(".parked.app"), {.version = QStringLiteral("1.0.4")});
    Installer::rollback(app);
    QCOMPARE(versionAt(app), QStringLiteral("1.0.4"));
    QCOMPARE(entries(previous()), QStringList{QStringLiteral("OpenEmu 1.0.3.app")});
}

void PlacementTest::placeFailures()
{
    const QString fresh = newApp(QStringLiteral("1.0.4"));

    // Destination cannot be created: its parent is a file.
    QFile(m_home.path(QStringLiteral("file"))).open(QIODevice::WriteOnly);
    QVERIFY_THROWS_EXCEPTION(PlatformError, Installer::place(fresh, m_home.path(QStringLiteral("file/Applications")),
                                                             std::nullopt, std::nullopt));

    // Copy to staging fails: the tool's own message; nothing changes.
    const QString app = installed(QStringLiteral("1.0.3"));
    Bundles::write(previous(), QStringLiteral("OpenEmu 1.0.1.app"), {.version = QStringLiteral("1.0.1")});
    try {
        Installer::place(m_home.path(QStringLiteral("gone/OpenEmu.app")), apps(), app, QStringLiteral("1.0.3"));
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message, QStringLiteral("A system tool (cp) reported a problem."));
    }

    // A failure at each later step: setting the kept copy aside, the swap, keeping the old app
    // (a real failure: a name too long for the file system). Every time the app is whole, the
    // earlier kept copy is back, and nothing of the run is left.
    const auto failing = [](const QString &fragment) {
        FileOps::setMoveFaultForTesting([fragment](const QString &from, const QString &to) -> std::optional<int> {
            return from.contains(fragment) || to.contains(fragment) ? std::optional(EIO) : std::nullopt;
        });
    };
    for (const QString &step : {QStringLiteral(".Vantor-aside-"), QStringLiteral("/OpenEmu.app"), QString()}) {
        if (step.isEmpty())
            FileOps::setMoveFaultForTesting({});
        else
            failing(step);
        const QString label = step.isEmpty() ? QString(300, QLatin1Char('9')) : QStringLiteral("1.0.3");
        QVERIFY_THROWS_EXCEPTION(PlatformError, Installer::place(fresh, apps(), app, label));
        QCOMPARE(versionAt(app), QStringLiteral("1.0.3"));
        QCOMPARE(entries(apps()), QStringList{QStringLiteral("OpenEmu.app")});
        QCOMPARE(entries(previous()), QStringList{QStringLiteral("OpenEmu 1.0.1.app")});
        QVERIFY(!QFileInfo::exists(JournalFile::path()));
    }
    FileOps::setMoveFaultForTesting({});

    // A file system that cannot swap in one step: the three-rename fallback.
    auto refused = std::make_shared<bool>(false); // the exchange is the first such step; the renames follow
    FileOps::setMoveFaultForTesting([refused](const QString &from, const QString &to) -> std::optional<int> {
        if (*refused || !from.contains(QStringLiteral(".Vantor-new-")) || !to.endsWith(QStringLiteral("/OpenEmu.app")))
            return std::nullopt;
        *refused = true;
        return EXDEV;
    });
    Installer::place(fresh, apps(), app, QStringLiteral("1.0.3"));
    QCOMPARE(versionAt(app), QStringLiteral("1.0.4"));
    QCOMPARE(entries(previous()), QStringList{QStringLiteral("OpenEmu 1.0.3.app")});
    QCOMPARE(entries(apps()), QStringList{QStringLiteral("OpenEmu.app")});
}

void PlacementTest::placeNotWritable()
{
    if (::geteuid() == 0)
        QSKIP("root may write anywhere; this check needs an ordinary user");
    const QString locked = m_home.path(QStringLiteral("Locked"));
    QDir().mkpath(locked);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    try {
        Installer::place(newApp(QStringLiteral("1.0.4")), locked, std::nullopt, std::nullopt);
        QFAIL("should fail");
    } catch (const FriendlyError &e) {
        QCOMPARE(e.message,
                 QStringLiteral("Vantor can't write to %1. Choose your own Applications folder instead.").arg(locked));
        QCOMPARE(e.details, QStringLiteral("Not writable: ") + locked);
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void PlacementTest::rollbackFailures()
{
    // The installed app is gone: nothing changes.
    Bundles::write(previous(), QStringLiteral("OpenEmu 1.0.3.app"), {.version = QStringLiteral("1.0.3")});
    QVERIFY_THROWS_EXCEPTION(PlatformError, Installer::rollback(apps() + QStringLiteral("/OpenEmu.app")));
    QCOMPARE(entries(previous()), QStringList{QStringLiteral("OpenEmu 1.0.3.app")});

    // The kept copy cannot be brought across, or the swap fails: both stay as they were.
    const QString app = installed(QStringLiteral("1.0.4"));
    for (const QString &fragment : {QStringLiteral("/OpenEmu 1.0.3.app"), QStringLiteral("/OpenEmu.app")}) {
        FileOps::setMoveFaultForTesting([fragment](const QString &from, const QString &to) -> std::optional<int> {
            return from.endsWith(fragment) || to.endsWith(fragment) ? std::optional(EIO) : std::nullopt;
        });
        QVERIFY_THROWS_EXCEPTION(PlatformError, Installer::rollback(app));
        QCOMPARE(versionAt(app), QStringLiteral("1.0.4"));
        QCOMPARE(entries(previous()), QStringList{QStringLiteral("OpenEmu 1.0.3.app")});
        QCOMPARE(entries(apps()), QStringList{QStringLiteral("OpenEmu.app")});
    }
    FileOps::setMoveFaultForTesting({});

    // A version that holds "/" still names a kept copy.
    FileOps::removeItem(app);
    Bundles::write(apps(), QStringLiteral("OpenEmu.app"), {.version = QStringLiteral("2.0/beta")});
    Installer::rollback(app);
    QCOMPARE(versionAt(app), QStringLiteral("1.0.3"));
    QCOMPARE(entries(previous()), QStringList{QStringLiteral("OpenEmu 2.0-beta.app")});
    Installer::rollback(app);
    QCOMPARE(versionAt(app), QStringLiteral("2.0/beta"));
}

VANTOR_TEST_CLASS(PlacementTest)
#include "PlacementTest.moc"
