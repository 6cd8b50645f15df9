// Built without VANTOR_TEST_HOOKS, as a release is: the test-only variables change nothing.

#include "base/TestHooks.h"
#include "platform/Host.h"

#include <QOperatingSystemVersion>
#include <QtTest>

class HooksOffTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void variablesAreIgnored()
    {
        for (const char *name : {"VANTOR_HOST", "VANTOR_SIGNATURE_TOOLS", "VANTOR_KILL_AT_STEP", "VANTOR_DEMO"})
            qputenv(name, qstrcmp(name, "VANTOR_HOST") == 0 ? "macos-14.5.0-arm64" : "1");
        QVERIFY(TestHooks::variable("VANTOR_SIGNATURE_TOOLS").isEmpty() && !TestHooks::enabled());
#ifdef Q_OS_MACOS
        // This Mac's own version, never the one the variable names.
        const QOperatingSystemVersion real = QOperatingSystemVersion::current();
        QCOMPARE(Host::macOSVersion().major, real.majorVersion());
        QCOMPARE(Host::macOSVersion().minor, qMax(0, real.minorVersion()));
#else
        QVERIFY(Host::macOSVersion().major == 0 && !Host::isAppleSilicon()); // not a Mac, nor the demo's
#endif
    }
};

QTEST_GUILESS_MAIN(HooksOffTest)
#include "tst_hooks_off.moc"
