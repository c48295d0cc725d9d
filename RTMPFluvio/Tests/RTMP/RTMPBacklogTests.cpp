#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <thread>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPStreamTestMedia.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedPublish.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"

namespace rtmpfluvio {
namespace {

using namespace std::chrono_literals;
using platform::blockOn;
using ::testing::HasSubstr;
using testing::ScriptedRTMPServer;

// A stream's rate as frame sizes at 30 fps, a key frame each second.
struct Rate {
  const char* name;
  std::size_t keyFrameBytes;
  std::size_t frameBytes;
};

class RTMPBacklogTests : public ::testing::TestWithParam<Rate> {};

platform::CMSampleBuffer frame(int index, const Rate& rate) {
  const bool key = index % 30 == 0;
  auto made = testing::encodedFrameOfSize(1.0 + index / 30.0, key ? rate.keyFrameBytes : rate.frameBytes);
  if (!key) fluvio::setNotSync(made, true);
  return made;
}

// The server takes the publication, then stops reading, its window small:
// the link ends within the time-out after what the system could take was
// taken (not before), saying why, at a low rate as at a broadcast's; frames
// the server never had are counted as such, and every frame is either
// acknowledged or counted so.
TEST_P(RTMPBacklogTests, AServerThatStopsReadingIsNoticedWithinTheTimeOut) {
  const Rate rate = GetParam();
  ScriptedRTMPServer server;
  server.limitReceiveBuffer(16 * 1024);
  RTMPConnection::Configuration configuration;
  configuration.timeout = 1s;
  const auto connection = RTMPConnection::make(configuration);
  const auto stream = RTMPStream::make(connection);
  testing::publishTo(server, *connection, *stream);
  auto statuses = blockOn(connection->status());

  // The sleep sets the producer's pace, 30 frames a second; it waits for no event.
  const auto start = std::chrono::steady_clock::now();
  int index = 0;
  for (; blockOn(connection->connected()) && index < 30 * 10; ++index) {
    blockOn(stream->append(frame(index, rate)));
    std::this_thread::sleep_until(start + index * 33ms);
  }
  const auto noticed = std::chrono::steady_clock::now() - start;
  const auto status = blockOn(statuses.next());
  ASSERT_TRUE(status);
  EXPECT_EQ(status->code(), "NetConnection.Connect.Closed");
  EXPECT_THAT(status->description(), HasSubstr("the server stopped reading"));
  EXPECT_GE(noticed, configuration.timeout);
  EXPECT_LT(noticed, 4 * configuration.timeout);

  // The stream lets go of its backlog once the link is gone.
  EXPECT_TRUE(platform::testing::eventually(
      [&] { return blockOn(stream->readyState()) == fluvio::StreamReadyState::idle; }));
  const auto info = blockOn(stream->info());
  EXPECT_GT(info.videoFramesNotDelivered(), 0);
  EXPECT_EQ(info.videoFramesSent + info.videoFramesNotDelivered(),
            info.videoFramesHandedOver + info.videoFramesAbandoned);
  std::cout << "[ backlog ] " << rate.name << ": noticed after " << std::chrono::duration<double>(noticed).count()
            << " s with a 1 s time-out; " << index << " frames made, " << info.videoFramesHandedOver
            << " handed over, " << info.videoFramesSent << " acknowledged, " << info.videoFramesDroppedForBacklog
            << " dropped, " << info.videoFramesNotDelivered() << " not delivered\n";
}

INSTANTIATE_TEST_SUITE_P(Rates, RTMPBacklogTests,
                         ::testing::Values(Rate{"340kbit", 6 * 1024, 1200}, Rate{"2200kbit", 60 * 1024, 7 * 1024}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rtmpfluvio
