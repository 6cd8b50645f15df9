#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

// Lets one test program run several test classes, one per file: each file registers its class
// with VANTOR_TEST_CLASS, and VANTOR_TEST_MAIN runs them all in order.
namespace TestSupport {

using TestFactory = std::function<std::unique_ptr<QObject>()>;

std::vector<TestFactory> &testClasses();
int runTestClasses(int argc, char *argv[]);

struct Registration
{
    explicit Registration(TestFactory factory) { testClasses().push_back(std::move(factory)); }
};

} // namespace TestSupport

#define VANTOR_TEST_CLASS(Class) \
    static const TestSupport::Registration registration##Class([] { return std::make_unique<Class>(); });

#define VANTOR_TEST_MAIN                                \
    int main(int argc, char *argv[])                    \
    {                                                   \
        return TestSupport::runTestClasses(argc, argv); \
    }
