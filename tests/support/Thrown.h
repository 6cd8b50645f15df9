#pragma once

#include <optional>
#include <utility>

namespace TestSupport {

// What `call` threw as an E, to look into; none when it threw nothing. Anything else it throws
// passes through and fails the test.
template <typename E, typename Call>
std::optional<E> thrown(Call &&call)
{
    try {
        std::forward<Call>(call)();
    } catch (const E &e) {
        return e;
    }
    return std::nullopt;
}

// Whether `call` failed at all, whatever it threw.
template <typename Call>
bool fails(Call &&call)
{
    try {
        std::forward<Call>(call)();
    } catch (...) {
        return true;
    }
    return false;
}

} // namespace TestSupport
