#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamTransport.hpp"

namespace rtmpfluvio::testing {

// One message a stream handed to its connection.
struct Captured {
  RTMPChunkType chunkType;
  RTMPChunkStreamId chunkStreamId;
  RTMPMessageType type;
  std::uint32_t streamId;
  std::uint32_t timestamp;
  std::vector<std::uint8_t> payload;
  // Command name or data handler, empty for media.
  std::string name;
  AMFList arguments;
};

// A connection that records what its streams send and answers their
// connection-level calls from a script, as a server would.
class RTMPCaptureConnection final : public RTMPStreamTransport {
 public:
  using Answer = std::function<RTMPResponse(const AMFList&)>;

  explicit RTMPCaptureConnection(bool isConnected = true,
                                 std::chrono::milliseconds requestTimeout = std::chrono::milliseconds(3000))
      : isConnected_(isConnected), requestTimeout_(requestTimeout) {
    answers_["createStream"] = [](const AMFList&) { return RTMPResponse(std::nullopt, {1.0}); };
  }

  void setConnected(bool isConnected) {
    const std::lock_guard lock(mutex_);
    isConnected_ = isConnected;
  }
  void setAnswer(const std::string& commandName, Answer answer) {
    const std::lock_guard lock(mutex_);
    answers_[commandName] = std::move(answer);
  }

  // Request time-outs run on a clock that only advance() moves.
  void useManualClock() {
    const std::lock_guard lock(mutex_);
    isClockManual_ = true;
  }
  // Moves the manual clock on; the time-outs due by then end.
  void advance(std::chrono::milliseconds elapsed) {
    std::vector<platform::Continuation<void>> due;
    {
      const std::lock_guard lock(mutex_);
      now_ += elapsed;
      std::erase_if(timeouts_, [&](auto& timeout) {
        if (timeout.first > now_) return false;
        due.push_back(std::move(timeout.second));
        return true;
      });
    }
    for (const auto& timeout : due) timeout.resume();
  }
  platform::Async<void> waitForRequestTimeout() override {
    const std::lock_guard lock(mutex_);
    if (!isClockManual_) return platform::sleepFor(requestTimeout_);
    return waitUntil(now_ + requestTimeout_);
  }
  platform::Async<bool> connected() override {
    const std::lock_guard lock(mutex_);
    co_return isConnected_;
  }
  platform::Async<bool> addStream(std::shared_ptr<RTMPConnectionListener> stream) override {
    const std::lock_guard lock(mutex_);
    streams_.push_back(stream);
    co_return isConnected_;
  }
  platform::Async<RTMPResponse> call(std::string commandName, AMFList arguments) override {
    Answer answer;
    {
      const std::lock_guard lock(mutex_);
      calls_.push_back(commandName);
      if (const auto found = answers_.find(commandName); found != answers_.end()) answer = found->second;
    }
    if (!answer) co_return RTMPResponse(std::nullopt, {});
    co_return answer(arguments);
  }
  // Until released, what is sent waits unwritten, as behind a stalled server.
  void holdWrites() {
    const std::lock_guard lock(mutex_);
    isHolding_ = true;
  }
  // Tells the waiting messages written and acknowledged, in the order they were sent.
  void releaseWrites() {
    std::vector<DeliveryNotice> released;
    {
      const std::lock_guard lock(mutex_);
      isHolding_ = false;
      released.swap(held_);
    }
    for (const auto& delivered : released) {
      delivered(RTMPDelivery::written);
      delivered(RTMPDelivery::acknowledged);
    }
  }
  void output(RTMPChunkType chunkType, RTMPChunkStreamId chunkStreamId, RTMPStreamMessage message,
              DeliveryNotice delivered) override {
    Captured captured = std::visit(
        [&](const auto& sent) {
          return Captured{chunkType, chunkStreamId, sent.type(), sent.streamId(), sent.timestamp(), sent.payload(), {},
                          {}};
        },
        message);
    if (const auto* command = std::get_if<RTMPCommandMessage>(&message)) {
      captured.name = command->commandName();
      captured.arguments = command->arguments();
    } else if (const auto* data = std::get_if<RTMPDataMessage>(&message)) {
      captured.name = data->handlerName();
      captured.arguments = data->arguments();
    }
    {
      const std::lock_guard lock(mutex_);
      sent_.push_back(std::move(captured));
      changed_.notify_all();
      if (!delivered) return;
      if (isHolding_) return held_.push_back(std::move(delivered));
    }
    delivered(RTMPDelivery::written);
    delivered(RTMPDelivery::acknowledged);
  }

  platform::Async<void> waitUntil(std::chrono::milliseconds deadline) {
    auto waiting = platform::withContinuation<void>([this, deadline](platform::Continuation<void> waiter) {
      std::unique_lock lock(mutex_);
      if (now_ < deadline) return timeouts_.emplace_back(deadline, std::move(waiter)), void();
      lock.unlock();
      waiter.resume();
    });
    co_await std::move(waiting);
  }

  std::vector<std::string> calls() const {
    const std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<Captured> sent() const {
    const std::lock_guard lock(mutex_);
    return sent_;
  }
  // Waits (at most 10 s) until `count` messages have been sent; all sent so far.
  std::vector<Captured> waitForSent(std::size_t count) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return sent_.size() >= count; });
    return sent_;
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool isConnected_;
  const std::chrono::milliseconds requestTimeout_;
  std::map<std::string, Answer> answers_;
  std::vector<std::string> calls_;
  std::vector<Captured> sent_;
  bool isHolding_ = false;
  bool isClockManual_ = false;
  std::chrono::milliseconds now_{0};
  std::vector<std::pair<std::chrono::milliseconds, platform::Continuation<void>>> timeouts_;
  std::vector<DeliveryNotice> held_;
  // Weak: the stream keeps its connection.
  std::vector<std::weak_ptr<RTMPConnectionListener>> streams_;
};

// A server's "onStatus" for stream 1.
inline RTMPCommandMessage onStatus(const std::string& code, const std::string& level) {
  return RTMPCommandMessage(1, 0, RTMPObjectEncoding::amf0, "onStatus", 0, std::nullopt,
                            {AMFObject{{"level", level}, {"code", code}, {"description", ""}}});
}

}  // namespace rtmpfluvio::testing
