#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"

namespace rtmpfluvio::testing {

// The smallest stream a connection can carry: it creates itself on the
// server and records what the connection hands it.
class TestRTMPStream final : public RTMPConnectionStream, public std::enable_shared_from_this<TestRTMPStream> {
 public:
  TestRTMPStream(Key key, std::weak_ptr<RTMPConnection> connection)
      : RTMPConnectionStream(key), connection_(std::move(connection)) {}

  void dispatch(const RTMPReceivedMessage& message, RTMPChunkType) override {
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
  }
  void dispatch(const RTMPUserControlMessage& message) override {
    std::lock_guard lock(mutex_);
    userEvents_.push_back(message.event());
  }
  void dispatch(const fluvio::NetworkMonitorEvent& event) override {
    std::lock_guard lock(mutex_);
    networkEvents_.push_back(event.eventCase());
    if (const auto& report = event.report()) {
      peakQueueBytesOut_ = std::max(peakQueueBytesOut_, report->currentQueueBytesOut);
    }
  }
  platform::Async<void> createStream() override {
    auto connection = connection_.lock();
    if (!connection) co_return;
    const auto response = co_await connection->call("createStream");
    if (!response.arguments().empty()) {
      if (const double* id = response.arguments().front().as<double>()) setId(static_cast<std::uint32_t>(*id));
    }
  }
  platform::Async<void> connectionWillClose() override {
    std::lock_guard lock(mutex_);
    ++closes_;
    co_return;
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
  mutable std::mutex mutex_;
  std::vector<RTMPReceivedMessage> messages_;
  std::vector<RTMPUserControlMessage::Event> userEvents_;
  std::vector<fluvio::NetworkMonitorEvent::Case> networkEvents_;
  int closes_ = 0;
  std::int64_t peakQueueBytesOut_ = 0;
};

}  // namespace rtmpfluvio::testing
