#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <iostream>
#include <thread>

#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"
#include "RTMPFluvio/Tests/RTMP/TestRTMPStream.hpp"

namespace rtmpfluvio {
namespace {

using namespace std::chrono_literals;
using platform::blockOn;
using testing::ScriptedRTMPServer;
using testing::TestRTMPStream;

// How long the server stops reading; RTMP_STALL_SECONDS sets it (CI keeps it short).
int stallSeconds() {
  const char* text = std::getenv("RTMP_STALL_SECONDS");
  const int seconds = text ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : 2;
}

// A connection with a stream of id 1 on the scripted server.
struct Publication {
  Publication() : connection(RTMPConnection::make()), stream(platform::Actor::make<TestRTMPStream>(connection)) {
    blockOn(connection->addStream(stream));
    auto connected = std::async(std::launch::async, [this] { return blockOn(connection->connect(server.url())); });
    server.accept();
    server.replyToConnect(server.nextCommand(), "NetConnection.Connect.Success");
    server.reply(server.nextCommand(), {1.0});
    connected.get();
  }

  void sendVideo(std::uint32_t index, std::size_t bytes) {
    std::vector<std::uint8_t> payload(bytes, static_cast<std::uint8_t>(index));
    payload[0] = index % 60 == 0 ? 0x17 : 0x27;
    blockOn(connection->doOutput(index == 0 ? RTMPChunkType::zero : RTMPChunkType::one, RTMPChunkStreamId::video,
                                 RTMPVideoMessage(1, index == 0 ? 0 : 33, std::move(payload))));
  }

  ScriptedRTMPServer server;
  std::shared_ptr<RTMPConnection> connection;
  std::shared_ptr<TestRTMPStream> stream;
};

// 720p30 at about 2.2 Mbit/s (a 60 KiB key frame a second and 8 KiB frames)
// while the server reads nothing: everything waits in the socket, and all of
// it arrives, in order, once the server reads again.
TEST(RTMPStalledServerTests, AStallWithinTheBoundLosesNothing) {
  Publication publication;
  const int frames = stallSeconds() * 30;
  const auto start = std::chrono::steady_clock::now();
  for (int index = 0; index < frames; ++index) {
    publication.sendVideo(static_cast<std::uint32_t>(index), index % 30 == 0 ? 60 * 1024 : 8 * 1024);
    std::this_thread::sleep_until(start + index * 33ms);
  }
  for (int index = 0; index < frames; ++index) {
    const auto message = publication.server.nextMessage();
    const auto* video = std::get_if<RTMPVideoMessage>(&message);
    ASSERT_TRUE(video) << "message " << index;
    EXPECT_EQ(video->payload()[1], static_cast<std::uint8_t>(index));
  }
  EXPECT_TRUE(blockOn(publication.connection->connected()));
  EXPECT_LE(publication.stream->peakQueueBytesOut(), RTMPSocket::kMaxQueuedBytes);
  std::cout << "[ stall ] " << stallSeconds() << " s: peak " << publication.stream->peakQueueBytesOut()
            << " bytes waiting in the socket\n";
  blockOn(publication.connection->close());
}

// Faster than any server reads: past the bound the socket closes rather
// than hold more, and the connection reports the link gone.
TEST(RTMPStalledServerTests, PastTheBoundTheConnectionCloses) {
  Publication publication;
  auto statuses = blockOn(publication.connection->status());
  constexpr std::size_t kMessage = 1024 * 1024;
  const auto limit = static_cast<std::uint32_t>(4 * RTMPSocket::kMaxQueuedBytes / kMessage);
  for (std::uint32_t index = 0; index < limit && blockOn(publication.connection->connected()); ++index) {
    publication.sendVideo(index, kMessage);
  }
  const auto status = blockOn(statuses.next());
  ASSERT_TRUE(status);
  EXPECT_EQ(status->code(), "NetConnection.Connect.Closed");
  EXPECT_FALSE(blockOn(publication.connection->connected()));
}

}  // namespace
}  // namespace rtmpfluvio
