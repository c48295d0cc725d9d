#pragma once

#include <algorithm>
#include <chrono>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnectionListener.hpp"

namespace rtmpfluvio::testing {

// The smallest stream a connection can carry: it creates itself on the
// server and records what the connection hands it; a test waits on what it
// recorded, woken by each record.
class TestRTMPStream final : public RTMPConnectionListener {
 public:
  explicit TestRTMPStream(std::weak_ptr<RTMPConnection> connection) : connection_(std::move(connection)) {}

  std::uint32_t messageStreamId() const noexcept override { return id_; }
  void didReceive(const RTMPReceivedMessage& message, RTMPChunkType, RTMPReceiveBacklog::Hold) override {
    {
      std::lock_guard lock(mutex_);
      messages_.push_back(message);
    }
    records_.add();
  }
  void didReceive(const RTMPUserControlMessage& message) override {
    {
      std::lock_guard lock(mutex_);
      userEvents_.push_back(message.event());
    }
    records_.add();
  }
  void didReceive(const fluvio::NetworkMonitorEvent& event) override {
    {
      std::lock_guard lock(mutex_);
      networkEvents_.push_back(event.eventCase());
      if (const auto& report = event.report()) {
        peakQueueBytesOut_ = std::max(peakQueueBytesOut_, report->currentQueueBytesOut);
      }
    }
    records_.add();
  }
  platform::Async<void> createStream() override {
    auto connection = connection_.lock();
    if (!connection) co_return;
    const auto response = co_await connection->call("createStream");
    if (!response.arguments().empty()) {
      if (const double* id = response.arguments().front().as<double>()) id_ = static_cast<std::uint32_t>(*id);
    }
  }
  platform::Async<void> connectionWillClose() override {
    {
      std::lock_guard lock(mutex_);
      ++closes_;
    }
    records_.add();
    co_return;
  }

  // Whether `condition` (over what was recorded) came to hold within `limit`.
  template <class Condition>
  bool waitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
    return records_.waitUntil([&](int) { return condition(); }, limit);
  }

  template <class Value>
  std::vector<Value> recorded(const std::vector<Value>& values) const {
    std::lock_guard lock(mutex_);
    return values;
  }
  std::vector<RTMPReceivedMessage> messages() const { return recorded(messages_); }
  std::vector<RTMPUserControlMessage::Event> userEvents() const { return recorded(userEvents_); }
  std::vector<fluvio::NetworkMonitorEvent::Case> networkEvents() const { return recorded(networkEvents_); }
  // The most bytes the monitor saw waiting in the socket.
  std::int64_t peakQueueBytesOut() const {
    std::lock_guard lock(mutex_);
    return peakQueueBytesOut_;
  }
  int closes() const {
    std::lock_guard lock(mutex_);
    return closes_;
  }

 private:
  std::weak_ptr<RTMPConnection> connection_;
  std::atomic<std::uint32_t> id_ = 0;
  mutable std::mutex mutex_;
  std::vector<RTMPReceivedMessage> messages_;
  std::vector<RTMPUserControlMessage::Event> userEvents_;
  std::vector<fluvio::NetworkMonitorEvent::Case> networkEvents_;
  int closes_ = 0;
  std::int64_t peakQueueBytesOut_ = 0;
  platform::testing::WatchedCount records_;
};

}  // namespace rtmpfluvio::testing
