// Built without VANTOR_TEST_HOOKS, as a release is: the test-only variables change nothing.

#include "base/TestHooks.h"
#include "platform/Host.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class HooksOffTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void variablesAreIgnored()
    {
        qputenv("VANTOR_HOST", "macos-14.5.0-arm64");
        qputenv("VANTOR_SIGNATURE_TOOLS", "/tmp/fake-tools");
        qputenv("VANTOR_KILL_AT_STEP", "1");
        QVERIFY(!TestHooks::enabled());
        for (const char *name : {"VANTOR_HOST", "VANTOR_SIGNATURE_TOOLS", "VANTOR_KILL_AT_STEP"})
            QVERIFY2(TestHooks::variable(name).isEmpty(), name);
        // Not a Mac, whatever the environment says.
        QCOMPARE(Host::macOSVersion().major, 0);
        QVERIFY(!Host::isAppleSilicon());
        // The demo is asked for inside the process only.
        qputenv("VANTOR_DEMO", "1");
        QVERIFY(!DemoFlag::isSet());
        DemoFlag::set();
        QVERIFY(Host::isAppleSilicon());
    }
};

QTEST_GUILESS_MAIN(HooksOffTest)
#include "tst_hooks_off.moc"
