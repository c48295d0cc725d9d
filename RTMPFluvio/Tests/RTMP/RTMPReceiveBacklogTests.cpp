#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <vector>

#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnectionListener.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceiveBacklog.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSocket.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPUserControlMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"

namespace rtmpfluvio {
namespace {

using namespace std::chrono_literals;
using platform::blockOn;
using testing::ScriptedRTMPServer;

constexpr std::size_t kVideoBytes = 60 * 1024;
constexpr std::uint32_t kStreamId = 1;

TEST(RTMPReceiveBacklogTests, PausesAtTheMarkAndResumesOnceAtHalfOfIt) {
  constexpr auto cost = RTMPReceiveBacklog::kMessageCost;
  RTMPReceiveBacklog backlog(4000);
  int resumed = 0;
  backlog.setResumed([&] { ++resumed; });
  auto first = backlog.take(1000 - cost);
  auto second = backlog.take(1001 - cost);
  auto third = backlog.take(998 - cost);
  {
    RTMPReceiveBacklog below(4000);
    auto held = below.take(3999 - cost);
    EXPECT_TRUE(below.admitsMore()) << "one byte below the mark";
  }
  auto fourth = backlog.take(1001 - cost);
  EXPECT_EQ(backlog.heldBytes(), 4000u);
  EXPECT_FALSE(backlog.admitsMore()) << "exactly at the mark";

  // A copy shares its message's count: giving back one copy gives nothing back.
  auto copy = third;
  third = {};
  EXPECT_EQ(backlog.heldBytes(), 4000u);
  copy = {};
  fourth = {};
  EXPECT_EQ(backlog.heldBytes(), 2001u);
  EXPECT_FALSE(backlog.admitsMore()) << "one byte above half the mark";
  EXPECT_EQ(resumed, 0);
  // Taking more while paused keeps it paused.
  auto fifth = backlog.take(10);
  fifth = {};
  EXPECT_EQ(resumed, 0);
  second = {};
  EXPECT_TRUE(backlog.admitsMore()) << "below half the mark";
  EXPECT_EQ(resumed, 1);
  first = {};
  EXPECT_EQ(backlog.heldBytes(), 0u);
  EXPECT_EQ(resumed, 1) << "told once per pause";
}

// A stream that keeps every message it is handed until it lets go, as one
// whose decoder has fallen behind does.
class StalledStream final : public RTMPConnectionListener {
 public:
  std::uint32_t messageStreamId() const noexcept override { return kStreamId; }
  void didReceive(const RTMPReceivedMessage& message, RTMPChunkType, RTMPReceiveBacklog::Hold hold) override {
    std::lock_guard lock(mutex_);
    if (const auto* video = std::get_if<RTMPVideoMessage>(&message)) indexes_.push_back(video->payload()[1]);
    held_ += hold.bytes();
    if (stalled_) holds_.push_back(std::move(hold));
    changed_.notify_all();
  }
  void didReceive(const RTMPUserControlMessage&) override {}
  void didReceive(const fluvio::NetworkMonitorEvent&) override {}
  platform::Async<void> createStream() override { co_return; }
  platform::Async<void> connectionWillClose() override { co_return; }

  // Bytes of every message taken while stalled, let go or not.
  std::size_t heldBytes() const {
    std::lock_guard lock(mutex_);
    return held_;
  }
  bool waitForHeldBytes(std::size_t bytes) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 30s, [&] { return held_ >= bytes; });
  }
  bool waitForVideo(std::size_t count) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 30s, [&] { return indexes_.size() >= count; });
  }
  std::vector<std::uint8_t> videoIndexes() const {
    std::lock_guard lock(mutex_);
    return indexes_;
  }
  void letGo() {
    std::lock_guard lock(mutex_);
    stalled_ = false;
    holds_.clear();
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stalled_ = true;
  std::vector<RTMPReceiveBacklog::Hold> holds_;
  std::vector<std::uint8_t> indexes_;
  std::size_t held_ = 0;
};

struct StalledPlayback {
  StalledPlayback() : connection(RTMPConnection::make()), stream(std::make_shared<StalledStream>()) {
    server.limitSendBuffer(64 * 1024);
    blockOn(connection->addStream(stream));
    auto connected = std::async(std::launch::async, [this] { return blockOn(connection->connect(server.url())); });
    server.accept();
    server.replyToConnect(server.nextCommand(), "NetConnection.Connect.Success");
    connected.get();
  }

  // A video message whose second byte numbers it.
  static RTMPVideoMessage video(std::size_t index) {
    std::vector<std::uint8_t> payload(kVideoBytes, 0);
    payload[0] = 0x27;
    payload[1] = static_cast<std::uint8_t>(index);
    return RTMPVideoMessage(kStreamId, static_cast<std::uint32_t>(index * 33), std::move(payload));
  }
  static RTMPUserControlMessage ping(std::int32_t value) {
    return RTMPUserControlMessage(0, 0, RTMPUserControlMessage::Event::ping, value);
  }
  static bool isPong(const RTMPReceivedMessage& message, std::int32_t value) {
    const auto* control = std::get_if<RTMPUserControlMessage>(&message);
    return control && control->event() == RTMPUserControlMessage::Event::pong && control->value() == value;
  }
  // Reads what the client sends until the pong for `value`.
  void awaitPong(std::int32_t value) {
    while (!isPong(server.nextMessage(), value)) {
    }
  }
  // Sends video until the client's stream holds the backlog's bound, then
  // until the server's writes stop completing, at least four more messages:
  // more than the client may still read past the bound lies ahead of
  // whatever is sent next. The number of messages sent or queued.
  std::size_t fill(std::size_t first) {
    std::size_t pastTheBound = 0;
    for (std::size_t index = first; index < first + 1000; ++index) {
      const bool out = server.sendWithin(video(index), 300ms);
      if (stream->heldBytes() < RTMPReceiveBacklog::kPauseBytes) continue;
      if (++pastTheBound >= 4 && !out) return index + 1 - first;
    }
    ADD_FAILURE() << "the client read on past its bound";
    return 1000;
  }

  ScriptedRTMPServer server;
  std::shared_ptr<RTMPConnection> connection;
  std::shared_ptr<StalledStream> stream;
};

// What a stalled stream can make the connection hold: the bound, the
// receive that was in flight when it was reached and the one after, and a
// message that was partly read before.
constexpr std::size_t kMostHeld =
    RTMPReceiveBacklog::kPauseBytes + 2 * RTMPSocket::kReceiveSize + kVideoBytes + 8 * RTMPReceiveBacklog::kMessageCost;

TEST(RTMPReceiveBacklogTests, AStalledStreamPausesReadingPingsAreAnsweredAndNothingIsLost) {
  StalledPlayback playback;
  // Below the bound the connection reads on: a ping behind stalled media is answered.
  for (std::size_t index = 0; index < 4; ++index) ASSERT_TRUE(playback.server.sendWithin(playback.video(index), 10s));
  ASSERT_TRUE(playback.server.sendWithin(playback.ping(1), 10s));
  playback.awaitPong(1);
  ASSERT_TRUE(playback.stream->waitForVideo(4));

  const std::size_t sent = 4 + playback.fill(4);
  EXPECT_LE(playback.stream->heldBytes(), kMostHeld);
  EXPECT_LT(playback.stream->videoIndexes().size(), sent);
  // A ping behind media the client does not read waits with it.
  playback.server.sendWithin(playback.ping(2), 0ms);
  for (const auto& message : playback.server.messagesWithin(300ms)) {
    EXPECT_FALSE(playback.isPong(message, 2)) << "answered before the client read on";
  }
  EXPECT_LE(playback.stream->heldBytes(), kMostHeld) << "the client read on while its stream held the bound";

  playback.stream->letGo();
  ASSERT_TRUE(playback.server.flushWithin(30s));
  playback.awaitPong(2);
  ASSERT_TRUE(playback.stream->waitForVideo(sent));
  const auto indexes = playback.stream->videoIndexes();
  ASSERT_EQ(indexes.size(), sent);
  for (std::size_t index = 0; index < sent; ++index) {
    EXPECT_EQ(indexes[index], static_cast<std::uint8_t>(index)) << "message " << index;
  }
  blockOn(playback.connection->close());
}

TEST(RTMPReceiveBacklogTests, AConnectionClosedWhileItsStreamHoldsTheBoundClosesAtOnce) {
  StalledPlayback playback;
  playback.fill(0);
  blockOn(playback.connection->close());
  EXPECT_TRUE(playback.server.clientClosed());
  EXPECT_FALSE(blockOn(playback.connection->connected()));
  // What the stream still holds goes back to a connection that has no socket.
  playback.stream->letGo();
}

}  // namespace
}  // namespace rtmpfluvio
