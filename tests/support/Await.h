#pragma once

#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

#include <qcoro/qcorotask.h>

#include <cxxabi.h>
#include <exception>
#include <optional>
#include <type_traits>
#include <typeinfo>

namespace TestSupport {

// Runs a task to its end in a local event loop and gives its result (or rethrows its
// failure). A task that does not end within the limit stops the test program: its frame
// still refers to this function's locals, so there is no safe way to carry on.
template <typename T>
T await(QCoro::Task<T> task, int timeoutMs = 20'000)
{
    QEventLoop loop;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
    std::exception_ptr failure;
    auto runner = [&]() -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(task);
                result.emplace(true);
            } else {
                result.emplace(co_await std::move(task));
            }
        } catch (...) {
            failure = std::current_exception();
        }
        loop.quit();
    };
    auto running = runner();
    if (!result && !failure) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!result && !failure)
        qFatal("a task did not finish within %d ms", timeoutMs);
    if (failure) {
        // QtTest says no more than "Caught unhandled exception": the kind is told here.
        try {
            std::rethrow_exception(failure);
        } catch (...) {
            const std::type_info *kind = abi::__cxa_current_exception_type();
            qInfo("the awaited task threw %s", kind ? kind->name() : "something unknown");
        }
        std::rethrow_exception(failure);
    }
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

} // namespace TestSupport
