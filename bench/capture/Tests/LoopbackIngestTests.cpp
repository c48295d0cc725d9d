#include <gtest/gtest.h>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/CoreMedia/HostClock.hpp"
#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPStreamTestMedia.hpp"
#include "bench/capture/LoopbackIngest.hpp"

namespace capturebench {
namespace {

using namespace std::chrono_literals;
using platform::HostClock;

// Publishes H.264 frames decoded at `seconds` (and one audio packet) to
// `ingest`, noting the host time before each frame is handed to the stream.
// Returns once the ingest has `expected` frames and the publisher has gone.
std::vector<std::uint64_t> publish(LoopbackIngest& ingest, const std::vector<double>& seconds, std::size_t expected) {
  auto connection = rtmpfluvio::RTMPConnection::make();
  auto stream = rtmpfluvio::RTMPStream::make(connection);
  platform::blockOn(connection->connect(ingest.url()));
  platform::blockOn(stream->publish("ingest-test"));
  std::vector<std::uint64_t> handedAt;
  for (const double time : seconds) {
    handedAt.push_back(HostClock::now());
    platform::blockOn(stream->append(rtmpfluvio::testing::encodedFrameAt(time)));
    platform::blockOn(
        stream->append(rtmpfluvio::testing::aacPacket(48000, 2), rtmpfluvio::testing::audioTimeAt(time + 0.01)));
  }
  EXPECT_TRUE(replaykit_tests::eventually([&] { return ingest.framesReceived() == expected; }, 10s));
  platform::blockOn(connection->close());
  return handedAt;
}

TEST(LoopbackIngest, notesEachCodedFrameWithItsTimestampAndWhenItsLastByteCame) {
  LoopbackIngest ingest(8);
  const auto handedAt = publish(ingest, {10.0, 10.5, 11.25}, 3);
  const auto finishedAt = HostClock::now();
  const auto arrivals = ingest.finish();
  // The sequence header and the audio are not frames.
  ASSERT_EQ(arrivals.size(), 3u);
  const std::uint32_t timestamps[] = {0, 500, 1250};
  for (std::size_t index = 0; index < arrivals.size(); ++index) {
    EXPECT_EQ(arrivals[index].timestamp, timestamps[index]);
    EXPECT_GE(arrivals[index].hostTime, handedAt[index]);
    EXPECT_LE(arrivals[index].hostTime, finishedAt);
  }
}

TEST(LoopbackIngest, notesNoMoreFramesThanItHasRoomFor) {
  LoopbackIngest ingest(2);
  publish(ingest, {1.0, 2.0, 3.0}, 2);
  const auto arrivals = ingest.finish();
  ASSERT_EQ(arrivals.size(), 2u);
  EXPECT_EQ(arrivals[1].timestamp, 1000u);
  EXPECT_EQ(ingest.framesReceived(), 2u);
}

}  // namespace
}  // namespace capturebench
