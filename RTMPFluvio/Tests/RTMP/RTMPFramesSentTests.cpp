#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <future>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPStreamTestMedia.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"

namespace rtmpfluvio {
namespace {

using platform::blockOn;
using platform::testing::eventually;
using testing::ScriptedRTMPServer;

// The most a TCP socket here buffers for sending.
std::size_t systemSendBufferLimit() {
  std::ifstream limits("/proc/sys/net/ipv4/tcp_wmem");
  std::size_t minimum = 0, initial = 0, maximum = 0;
  limits >> minimum >> initial >> maximum;
  return maximum;
}

// A stream publishing "key" through a connection to the scripted server.
struct Publication {
  explicit Publication(int serverReceiveBuffer = 0) {
    if (serverReceiveBuffer > 0) server.limitReceiveBuffer(serverReceiveBuffer);
    auto published = std::async(std::launch::async, [this] {
      blockOn(connection->connect(server.url()));
      return blockOn(stream->publish("key"));
    });
    server.accept();
    server.answerUntilPublishing();
    published.get();
  }

  std::int64_t framesSent() { return blockOn(stream->info()).videoFramesSent; }

  ScriptedRTMPServer server;
  std::shared_ptr<RTMPConnection> connection = RTMPConnection::make();
  std::shared_ptr<RTMPStream> stream = RTMPStream::make(connection);
};

// Frames larger than all the system holds between us and the server: once
// the server stops reading, no frame behind the one it reads part of can
// have been taken whole. Frames the server read count; that one may; those
// waiting behind it do not, until the server reads again.
TEST(RTMPFramesSentTests, AStalledServerReadsWhatCountsAsSent) {
  const std::size_t frameBytes = systemSendBufferLimit() + 512 * 1024;
  constexpr int kFrames = 3;
  if (kFrames * frameBytes >= static_cast<std::size_t>(RTMPSocket::kMaxQueuedBytes)) {
    GTEST_SKIP() << "the system buffers too much to stall a frame here";
  }
  Publication publication(16 * 1024);
  for (int frame = 0; frame < kFrames; ++frame) {
    blockOn(publication.stream->append(testing::encodedFrameOfSize(1.0 + frame / 30.0, frameBytes)));
  }
  constexpr int kRead = 1;
  publication.server.readVideoFrames(kRead);
  EXPECT_TRUE(eventually([&] { return publication.framesSent() >= kRead; })) << "what the server read was written";
  EXPECT_LE(publication.framesSent(), kRead + 1) << "frames waiting for the server are not sent";

  publication.server.readVideoFrames(kFrames - kRead);
  blockOn(publication.connection->close());
  EXPECT_EQ(publication.framesSent(), kFrames);
}

// A server that keeps reading: every frame the stream packaged reaches it,
// and the count is the server's own.
TEST(RTMPFramesSentTests, AReadingServerCountsWhatWasSent) {
  Publication publication;
  constexpr int kFrames = 90;
  // Within the second of media the stream holds before it drops: appended
  // at once, they all wait for the network rather than go.
  const auto at = [](int frame) { return 1.0 + frame / 100.0; };
  for (int frame = 0; frame < kFrames; ++frame) {
    blockOn(publication.stream->append(testing::encodedFrameOfSize(at(frame), 8 * 1024)));
  }
  // A repeated time is dropped before it could be sent.
  blockOn(publication.stream->append(testing::encodedFrameOfSize(at(kFrames - 1), 8 * 1024)));
  publication.server.readVideoFrames(kFrames);
  blockOn(publication.connection->close());
  EXPECT_EQ(publication.framesSent(), kFrames);
}

}  // namespace
}  // namespace rtmpfluvio
