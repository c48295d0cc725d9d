#pragma once

#include <optional>
#include <type_traits>
#include <utility>

#include "Platform/Concurrency/Executor.hpp"

namespace platform::detail {

template <class T>
struct IsAsync : std::false_type {};
template <class T>
struct IsAsync<Async<T>> : std::true_type {};

// A callable that returns a coroutine (what spawn, blockOn and isolated take).
template <class Callable>
concept AsyncCallable = std::is_invocable_v<Callable> && IsAsync<std::invoke_result_t<Callable>>::value;

// Keeps `callable` in the coroutine frame while the coroutine it returns runs,
// so a lambda's captures outlive the temporary lambda.
template <class Callable>
auto invokeHeld(Callable callable) -> std::invoke_result_t<Callable> {
  co_return co_await callable();
}

}  // namespace platform::detail
