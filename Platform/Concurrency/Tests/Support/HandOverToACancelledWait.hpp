#pragma once

#include <asio/co_spawn.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <asio/use_future.hpp>
#include <cstddef>
#include <latch>
#include <optional>

#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace platform::testing {

// Forces the narrowest race of a cancelled wait, without timing: `take()`
// (a wait on the container under test) races a rival wait on a strand that
// is held busy while first the rival's value and then `offer()`'s element are
// handed over. So the element goes to a wait that the rival's win is about to
// cancel. Returns the index of the side that won (1: the rival).
template <class Take, class Offer>
std::size_t handOverToACancelledWait(Take take, Offer offer) {
  using namespace asio::experimental::awaitable_operators;
  auto strand = asio::make_strand(globalExecutor());
  auto [rival, rivalInput] = AsyncStream<int>::makeStream();
  std::latch strandHeld(1);
  std::latch release(1);
  // Posted once the rival has started, so the hold begins after both waits
  // are parked.
  auto rivalWait = [&, rival = rival]() -> Async<std::optional<int>> {
    asio::post(strand, [&] {
      strandHeld.count_down();
      release.wait();
    });
    co_return co_await rival.next();
  };
  auto raced = asio::co_spawn(
      strand,
      [&]() -> Async<std::size_t> {
        auto winner = co_await (take() || rivalWait());
        co_return winner.index();
      },
      asio::use_future);
  strandHeld.wait();
  rivalInput.yield(1);
  offer();
  release.count_down();
  return raced.get();
}

}  // namespace platform::testing
