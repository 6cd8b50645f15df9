#pragma once

#include <QFuture>

#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

#include <exception>
#include <optional>
#include <type_traits>

// Blocking work for a background thread, with its failure carried back whole. QtConcurrent
// only carries QException subclasses; our FriendlyError and PlatformError would arrive as an
// anonymous QUnhandledException.
namespace Background {

template <typename T>
struct Outcome
{
    std::optional<T> value;
    std::exception_ptr failure;

    // The work's result, or its failure thrown again here.
    T take()
    {
        if (failure)
            std::rethrow_exception(failure);
        return std::move(*value);
    }
};

// Starts the work on QtConcurrent's pool. Await the future as a named variable, then take()
// its outcome. Work that gives nothing gives true.
template <typename Work>
auto run(Work work)
{
    using Result = std::invoke_result_t<Work &>;
    using Value = std::conditional_t<std::is_void_v<Result>, bool, Result>;
    return QtConcurrent::run([work = std::move(work)]() mutable {
        Outcome<Value> outcome;
        try {
            if constexpr (std::is_void_v<Result>) {
                work();
                outcome.value = true;
            } else {
                outcome.value.emplace(work());
            }
        } catch (...) {
            outcome.failure = std::current_exception();
        }
        return outcome;
    });
}

} // namespace Background
