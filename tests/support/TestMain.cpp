#include "TestMain.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace TestSupport {

std::vector<TestFactory> &testClasses()
{
    static std::vector<TestFactory> classes;
    return classes;
}

namespace {

// Test functions named on the command line ("name" or "name:tag"), without options.
QStringList namedFunctions(int argc, char *argv[])
{
    QStringList names;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (!arg.startsWith(QLatin1Char('-')))
            names.append(arg.section(QLatin1Char(':'), 0, 0));
    }
    return names;
}

bool hasAny(const QObject &test, const QStringList &functions)
{
    const QMetaObject *meta = test.metaObject();
    for (const QString &function : functions) {
        if (meta->indexOfMethod(QMetaObject::normalizedSignature(qPrintable(function + u"()"_s))) >= 0)
            return true;
    }
    return false;
}

} // namespace

int runTestClasses(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList functions = namedFunctions(argc, argv);
    int failures = 0;
    for (const TestFactory &factory : testClasses()) {
        const std::unique_ptr<QObject> test = factory();
        if (!functions.isEmpty() && !hasAny(*test, functions))
            continue; // asked for functions of another class
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}

} // namespace TestSupport
