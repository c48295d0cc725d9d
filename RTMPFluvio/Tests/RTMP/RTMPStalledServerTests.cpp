#include <gmock/gmock.h>
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
using ::testing::HasSubstr;
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
  explicit Publication(RTMPConnection::Configuration configuration = {}, int serverReceiveBuffer = 0)
      : connection(RTMPConnection::make(std::move(configuration))),
        stream(std::make_shared<TestRTMPStream>(connection)) {
    if (serverReceiveBuffer > 0) server.limitReceiveBuffer(serverReceiveBuffer);
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

// The bound is on bytes waiting, not on bytes sent: a server that reads each
// message before the next is sent takes several times the bound in all.
TEST(RTMPStalledServerTests, AServerThatKeepsReadingIsNeverCutOff) {
  Publication publication;
  constexpr std::size_t kMessage = 1024 * 1024;
  const auto count = static_cast<std::uint32_t>(3 * RTMPSocket::kMaxQueuedBytes / kMessage);
  for (std::uint32_t index = 0; index < count; ++index) {
    publication.sendVideo(index, kMessage);
    auto message = publication.server.nextMessage();
    while (!std::holds_alternative<RTMPVideoMessage>(message)) message = publication.server.nextMessage();
    const auto& video = std::get<RTMPVideoMessage>(message);
    ASSERT_EQ(video.payload().size(), kMessage) << "message " << index;
    EXPECT_EQ(video.payload()[1], static_cast<std::uint8_t>(index));
  }
  EXPECT_TRUE(blockOn(publication.connection->connected()));
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

// A server that reads slowly keeps the publication however long its backlog
// stays; one that stops reading ends it once it has acknowledged nothing
// for the time-out (not before), with an error that says so.
TEST(RTMPStalledServerTests, AServerThatStopsReadingEndsThePublicationAfterTheTimeOut) {
  RTMPConnection::Configuration configuration;
  configuration.timeout = 1s;
  // A small window: each read of the server lets the client's system take more.
  Publication publication(configuration, 16 * 1024);
  auto statuses = blockOn(publication.connection->status());
  constexpr std::size_t kMessage = 64 * 1024;
  // 8 MiB ahead of the server: more than the system's buffers take, so
  // output waits in the socket throughout.
  constexpr std::uint32_t kAhead = 128;
  std::uint32_t sent = 0;
  for (; sent < kAhead; ++sent) publication.sendVideo(sent, kMessage);

  // Three time-outs of slow reading: about 3 MB/s, a message per 20 ms. The
  // sleep sets the pace of the reader; it waits for no event.
  const auto slowUntil = std::chrono::steady_clock::now() + 3 * configuration.timeout;
  auto lastRead = std::chrono::steady_clock::now();
  while (lastRead < slowUntil) {
    std::this_thread::sleep_for(20ms);
    const auto message = publication.server.nextMessage();
    lastRead = std::chrono::steady_clock::now();
    if (std::holds_alternative<RTMPVideoMessage>(message)) publication.sendVideo(sent++, kMessage);
  }
  EXPECT_TRUE(blockOn(publication.connection->connected())) << "a slow server is not a stopped one";
  EXPECT_GT(publication.stream->peakQueueBytesOut(), 0) << "output waited in the socket";

  const auto status = blockOn(statuses.next());
  const auto noticed = std::chrono::steady_clock::now() - lastRead;
  ASSERT_TRUE(status);
  EXPECT_EQ(status->code(), "NetConnection.Connect.Closed");
  EXPECT_THAT(status->description(), HasSubstr("the server stopped reading: it acknowledged nothing for"));
  EXPECT_GE(noticed, configuration.timeout);
  EXPECT_LT(noticed, 3 * configuration.timeout);
  EXPECT_FALSE(blockOn(publication.connection->connected()));
  std::cout << "[ stall ] noticed " << std::chrono::duration<double>(noticed).count()
            << " s after the server stopped reading, with a time-out of 1 s\n";
}

}  // namespace
}  // namespace rtmpfluvio
