#include "RTMPFluvio/Sources/RTMP/RTMPStreamCommandSlot.hpp"

#include <utility>

#include "Platform/Concurrency/ContinuationError.hpp"

namespace rtmpfluvio {

platform::Async<RTMPResponse> RTMPStreamCommandSlot::wait(RTMPStreamCode expected, std::chrono::milliseconds timeout,
                                                          std::function<void()> send, std::exception_ptr superseded,
                                                          std::exception_ptr timedOut) {
  cancel(std::move(superseded));
  const auto token = ++nextToken_;
  auto waiting = platform::withContinuation<RTMPResponse>(
      [&](platform::Continuation<RTMPResponse> continuation) {
        pending_.emplace(Pending{token, expected, std::move(continuation)});
        send();
      },
      timeout);
  try {
    co_return co_await std::move(waiting);
  } catch (const platform::ContinuationError& error) {
    if (pending_ && pending_->token == token) pending_.reset();
    if (error.which() == platform::ContinuationError::Case::timedOut) std::rethrow_exception(timedOut);
    throw;
  }
}

void RTMPStreamCommandSlot::resolve(const RTMPResponse& response,
                                    const std::function<std::exception_ptr()>& failure) {
  if (!pending_) return;
  const auto& status = response.status();
  if (!status || status->level() != "status") {
    std::exchange(pending_, std::nullopt)->continuation.resume(failure());
  } else if (status->code() == rawValue(pending_->expected)) {
    std::exchange(pending_, std::nullopt)->continuation.resume(response);
  }
}

void RTMPStreamCommandSlot::cancel(std::exception_ptr error) {
  if (pending_) std::exchange(pending_, std::nullopt)->continuation.resume(std::move(error));
}

std::optional<RTMPStreamCode> RTMPStreamCommandSlot::expectedResponse() const noexcept {
  if (!pending_) return std::nullopt;
  return pending_->expected;
}

}  // namespace rtmpfluvio
