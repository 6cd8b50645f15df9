#pragma once

#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

#include <qcoro/qcorotask.h>

#include <exception>
#include <optional>

namespace TestSupport {

// Runs a task to its end in a local event loop and gives its result (or rethrows its
// failure). A task that does not end within the limit stops the test program: its frame
// still refers to this function's locals, so there is no safe way to carry on.
template <typename T>
T await(QCoro::Task<T> task, int timeoutMs = 20'000)
{
    QEventLoop loop;
    std::optional<T> result;
    std::exception_ptr failure;
    bool done = false;
    auto runner = [&]() -> QCoro::Task<> {
        try {
            result.emplace(co_await std::move(task));
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        loop.quit();
    };
    auto running = runner();
    if (!done) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!done)
        qFatal("a task did not finish within %d ms", timeoutMs);
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*result);
}

inline void await(QCoro::Task<> task, int timeoutMs = 20'000)
{
    await(
        [](QCoro::Task<> inner) -> QCoro::Task<bool> {
            co_await std::move(inner);
            co_return true;
        }(std::move(task)),
        timeoutMs);
}

} // namespace TestSupport
