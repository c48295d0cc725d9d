#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <iostream>
#include <optional>
#include <thread>

#include "Fluvio/Tests/Stream/StreamTestMedia.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/NextWithin.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Tests/RTMP/ClientSendQueue.hpp"
#include "RTMPFluvio/Tests/RTMP/ReceivedMedia.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedPublish.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"

namespace rtmpfluvio {
namespace {

using namespace std::chrono_literals;
using platform::blockOn;
using ::testing::HasSubstr;
using testing::ReceivedMedia;
using testing::ScriptedRTMPServer;

constexpr double kFrameRate = 30;
constexpr double kSampleRate = 48000;
constexpr std::int32_t kWidth = 640;
constexpr std::int32_t kHeight = 360;
// Frames come 33 or 34 ms apart; a longer step is a gap left by drops.
constexpr std::uint32_t kFrameStepMs = 50;

struct Rate {
  const char* name;
  std::int64_t bitRate;
};

// A raw frame of noise, which the encoder cannot make smaller than its bit rate.
platform::CMSampleBuffer noiseFrame(int index, const platform::CMTime& time) {
  const auto image = platform::CVPixelBuffer::make(kWidth, kHeight, platform::kCVPixelFormatType_32BGRA).value;
  image->lockBaseAddress(0);
  std::uint32_t state = 2463534242u + static_cast<std::uint32_t>(index) * 7919u;
  for (std::size_t row = 0; row < image->height(); ++row) {
    auto* line = image->baseAddress() + row * image->bytesPerRow();
    for (std::size_t column = 0; column < image->width() * 4; ++column) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      line[column] = static_cast<std::uint8_t>(state);
    }
  }
  image->unlockBaseAddress(0);
  const auto format = platform::CMFormatDescription::makeForImageBuffer(*image).value;
  const platform::CMSampleTimingInfo timing{platform::CMTime::make(1, 30), time, platform::CMTime::invalid};
  return *platform::CMSampleBuffer::makeReadyWithImageBuffer(image, format, timing).value;
}

// A publication to the scripted server through the stream's own encoders,
// the server's window small so what the client's system takes follows what
// the server reads.
struct Publication {
  Publication(const Rate& rate, std::chrono::seconds timeout) {
    server.limitReceiveBuffer(16 * 1024);
    RTMPConnection::Configuration configuration;
    configuration.timeout = timeout;
    connection = RTMPConnection::make(configuration);
    stream = RTMPStream::make(connection);
    blockOn(stream->setVideoSettings(fluvio::VideoCodecSettings({kWidth, kHeight}, rate.bitRate)));
    blockOn(stream->setAudioSettings(fluvio::AudioCodecSettings(64'000)));
    testing::publishTo(server, *connection, *stream);
    statuses.emplace(blockOn(connection->status()));
  }

  // Raw media at 30 frames a second for `seconds` or until the link ends;
  // returns when the link was seen gone, if it was.
  std::optional<std::chrono::steady_clock::time_point> produce(std::chrono::seconds seconds) {
    const auto start = std::chrono::steady_clock::now();
    const auto hostStart = platform::HostClock::now();
    const auto format = platform::AVAudioFormat::makeStandard(kSampleRate, 2);
    std::int64_t audioFrame = 0;
    for (int index = 0; index < seconds.count() * kFrameRate; ++index) {
      if (!blockOn(connection->connected())) return std::chrono::steady_clock::now();
      const double at = index / kFrameRate;
      blockOn(stream->append(
          noiseFrame(index, platform::CMTime::makeWithSeconds(platform::HostClock::seconds(hostStart) + at, 90000))));
      for (; audioFrame / kSampleRate <= at; audioFrame += 1024) {
        blockOn(stream->append(fluvio::testing::toneBuffer(format, 1024, audioFrame),
                               fluvio::testing::audioTime(hostStart, audioFrame, kSampleRate)));
      }
      // The sleep sets the producer's pace; it waits for no event.
      std::this_thread::sleep_until(start + std::chrono::duration<double>((index + 1) / kFrameRate));
    }
    return std::nullopt;
  }

  ScriptedRTMPServer server;
  std::shared_ptr<RTMPConnection> connection;
  std::shared_ptr<RTMPStream> stream;
  std::optional<platform::AsyncStream<RTMPStatus>> statuses;
};

class RTMPSlowLinkTests : public ::testing::TestWithParam<Rate> {};

// The server reads a third of the stream's rate: it keeps acknowledging, so
// the link stays; the system's send queue stays small, the stream drops
// video up to key frames and audio past its second and counts both, and what
// the server got decodes, every picture after a gap starting on a key frame.
TEST_P(RTMPSlowLinkTests, AServerThatReadsSlowlyGetsAStreamThatDecodes) {
  const Rate rate = GetParam();
  // Through so small a window a slow reader acknowledges in steps of about
  // half of it, over a second apart at the low rate: the time-out allows that.
  Publication publication(rate, 3s);
  const int socket = testing::clientSocketTo(publication.server.port());
  ASSERT_GE(socket, 0);

  constexpr auto kSeconds = 8s;
  auto produced = std::async(std::launch::async, [&] { return publication.produce(kSeconds); });
  int queuePeak = 0;
  ReceivedMedia received;
  received.add(publication.server.messagesReadSlowly(static_cast<double>(rate.bitRate) / 8 / 3, kSeconds, [&] {
    queuePeak = std::max(queuePeak, testing::sendQueueBytes(socket));
  }));
  EXPECT_FALSE(produced.get()) << "the link ended while the server kept reading";
  EXPECT_TRUE(blockOn(publication.connection->connected()));

  const auto info = blockOn(publication.stream->info());
  const auto errors = received.decodeErrors();
  std::cout << "[ slow link ] " << rate.name << ": send queue peak " << queuePeak << " bytes, "
            << info.videoFramesDroppedForBacklog << " video frames and " << info.audioBuffersDroppedForBacklog
            << " audio buffers dropped, " << received.videoFrames() << " frames and " << received.audioBuffers()
            << " audio buffers received, decode: " << (errors.empty() ? "clean" : errors) << "\n";
  // What may wait unsent, about as much sent and not yet acknowledged, and one write past the mark.
  EXPECT_LE(queuePeak, 128 * 1024);
  EXPECT_GT(info.videoFramesDroppedForBacklog, 0);
  EXPECT_GT(info.audioBuffersDroppedForBacklog, 0);
  EXPECT_GT(received.videoFrames(), 0);
  EXPECT_GT(received.audioBuffers(), 0);
  EXPECT_EQ(errors, "");
  EXPECT_TRUE(received.keyFrameAfterEveryGap(kFrameStepMs));
}

// The server reads all for two seconds, then stops: the link ends within the
// time-out of the stop (not before), saying why, and what the server read
// until then decodes.
TEST_P(RTMPSlowLinkTests, WhatAServerReadBeforeItStoppedDecodes) {
  const Rate rate = GetParam();
  constexpr auto kTimeout = 1s;
  Publication publication(rate, kTimeout);
  auto produced = std::async(std::launch::async, [&] { return publication.produce(15s); });
  ReceivedMedia received;
  received.add(publication.server.messagesWithin(2s));
  const auto stopped = std::chrono::steady_clock::now();

  const auto ended = produced.get();
  ASSERT_TRUE(ended) << "the link outlived the server's reading";
  const auto noticed = *ended - stopped;
  const auto status = platform::testing::nextWithin(*publication.statuses);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->code(), "NetConnection.Connect.Closed");
  EXPECT_THAT(status->description(), HasSubstr("the server stopped reading"));
  EXPECT_GE(noticed, kTimeout);
  EXPECT_LT(noticed, 4 * kTimeout);

  const auto errors = received.decodeErrors();
  std::cout << "[ slow link ] " << rate.name << " stopped: noticed after "
            << std::chrono::duration<double>(noticed).count() << " s, " << received.videoFrames()
            << " frames received, decode: " << (errors.empty() ? "clean" : errors) << "\n";
  EXPECT_GT(received.videoFrames(), 30);
  EXPECT_EQ(errors, "");
  EXPECT_TRUE(received.keyFrameAfterEveryGap(kFrameStepMs));
}

INSTANTIATE_TEST_SUITE_P(Rates, RTMPSlowLinkTests,
                         ::testing::Values(Rate{"340kbit", 340'000}, Rate{"2200kbit", 2'200'000}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rtmpfluvio
