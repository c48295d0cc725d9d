#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <variant>

#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPResponse.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamCode.hpp"

namespace rtmpfluvio {

// The one stream command that waits for its "onStatus" answer. Each wait
// carries its own token, so the time-out of an answered command never fails
// a later one; a new command fails the one still waiting. Used from the
// stream's strand only.
class RTMPStreamCommandSlot {
 public:
  // Fails a command still waiting with `superseded`, runs `send`, then waits
  // for `expected` until `timeout` ends (it is cancelled when the answer
  // comes first). Throws what resolve() fails it with, `superseded` when
  // another command comes first, or `timedOut`.
  platform::Async<RTMPResponse> wait(RTMPStreamCode expected, platform::Async<void> timeout,
                                     std::function<void()> send, std::exception_ptr superseded,
                                     std::exception_ptr timedOut);

  // Applies one status answer: a level other than "status" fails the waiting
  // command with `failure`; the expected code completes it; others leave it
  // waiting. A response without a status fails it too.
  void resolve(const RTMPResponse& response, const std::function<std::exception_ptr()>& failure);

  // Fails the waiting command, if any, with `error`.
  void cancel(std::exception_ptr error);

  bool isWaiting() const noexcept { return pending_.has_value(); }
  std::optional<RTMPStreamCode> expectedResponse() const noexcept;

 private:
  // The answer, or the error the command fails with; either ends the wait
  // before its time-out does.
  using Outcome = std::variant<RTMPResponse, std::exception_ptr>;
  struct Pending {
    std::uint64_t token;
    RTMPStreamCode expected;
    platform::Continuation<Outcome> continuation;
  };

  std::optional<Pending> pending_;
  std::uint64_t nextToken_ = 0;
};

}  // namespace rtmpfluvio
