#include "RTMPFluvio/Sources/RTMP/RTMPStreamCommandSlot.hpp"

#include <asio/experimental/awaitable_operators.hpp>
#include <utility>

namespace rtmpfluvio {

platform::Async<RTMPResponse> RTMPStreamCommandSlot::wait(RTMPStreamCode expected, platform::Async<void> timeout,
                                                          std::function<void()> send, std::exception_ptr superseded,
                                                          std::exception_ptr timedOut) {
  using namespace asio::experimental::awaitable_operators;
  cancel(std::move(superseded));
  const auto token = ++nextToken_;
  auto answer = platform::withContinuation<Outcome>([&](platform::Continuation<Outcome> continuation) {
    pending_.emplace(Pending{token, expected, std::move(continuation)});
    send();
  });
  const auto forget = [&] {
    if (pending_ && pending_->token == token) pending_.reset();
  };
  try {
    // The loser is cancelled: an answered command leaves no time-out behind.
    // The outcome's alternatives, then the time-out's.
    auto first = co_await (std::move(answer) || std::move(timeout));
    if (auto* response = std::get_if<RTMPResponse>(&first)) co_return std::move(*response);
    if (const auto* error = std::get_if<std::exception_ptr>(&first)) std::rethrow_exception(*error);
  } catch (...) {
    forget();
    throw;
  }
  forget();
  std::rethrow_exception(timedOut);
}

void RTMPStreamCommandSlot::resolve(const RTMPResponse& response,
                                    const std::function<std::exception_ptr()>& failure) {
  if (!pending_) return;
  const auto& status = response.status();
  if (!status || status->level() != "status") {
    std::exchange(pending_, std::nullopt)->continuation.resume(Outcome(failure()));
  } else if (status->code() == rawValue(pending_->expected)) {
    std::exchange(pending_, std::nullopt)->continuation.resume(Outcome(response));
  }
}

void RTMPStreamCommandSlot::cancel(std::exception_ptr error) {
  if (pending_) std::exchange(pending_, std::nullopt)->continuation.resume(Outcome(std::move(error)));
}

std::optional<RTMPStreamCode> RTMPStreamCommandSlot::expectedResponse() const noexcept {
  if (!pending_) return std::nullopt;
  return pending_->expected;
}

}  // namespace rtmpfluvio
