#pragma once

#include <asio/experimental/awaitable_operators.hpp>
#include <chrono>
#include <optional>
#include <variant>

#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Sleep.hpp"

namespace platform::testing {

// The next element of `stream`, or none when it finished or `limit` passed
// first: a test waits on the stream's own event and never hangs on it.
template <class T>
std::optional<T> nextWithin(AsyncStream<T>& stream, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  return blockOn([&]() -> Async<std::optional<T>> {
    using namespace asio::experimental::awaitable_operators;
    auto next = stream.next();
    auto raced = co_await (std::move(next) || sleepFor(limit));
    if (raced.index() == 0) co_return std::get<0>(std::move(raced));
    co_return std::nullopt;
  });
}

}  // namespace platform::testing
