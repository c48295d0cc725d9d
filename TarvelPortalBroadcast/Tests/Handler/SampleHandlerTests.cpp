#include <dirent.h>
#include <gtest/gtest.h>
#include <linux/pkt_sched.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <algorithm>
#include <asio/post.hpp>
#include <chrono>
#include <cstdint>
#include <latch>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"
#include "Platform/ReplayKit/Service/AudioSource.hpp"
#include "Platform/ReplayKit/Service/ScreenSource.hpp"
#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "TarvelPortalBroadcast/Sources/SampleHandler.hpp"
#include "tests/peers/support/NginxRTMPServer.hpp"

namespace tarvelportalbroadcast {
namespace {

using namespace std::chrono_literals;
using platform::RPSampleBufferType;

constexpr std::uint64_t kFrameNanoseconds = 1'000'000'000 / 30;
constexpr std::uint64_t kAudioBufferNanoseconds = 1'000'000'000ull * 1024 / 48'000;

// Screen pictures and app audio, stamped as the service stamps them.
class Samples {
 public:
  Samples() {
    picture_ = platform::CVPixelBuffer::make(320, 180, platform::kCVPixelFormatType_32BGRA).value;
    pictureFormat_ = platform::CMFormatDescription::makeForImageBuffer(*picture_).value;
  }
  std::shared_ptr<platform::CMSampleBuffer> picture() {
    videoTime_ += kFrameNanoseconds;
    return platform::broadcastservice::makeFrameSampleBuffer(picture_, pictureFormat_, videoTime_);
  }
  // 1,024 stereo frames, each buffer right after the one before; the first
  // one a second after the latest picture, well past the encoder's priming.
  std::shared_ptr<platform::CMSampleBuffer> sound() {
    audioTime_ = audioTime_ ? audioTime_ + kAudioBufferNanoseconds : videoTime_ + 1'000'000'000;
    return platform::broadcastservice::makeAudioSampleBuffer(audioFormat_, silence_, audioTime_);
  }

 private:
  std::shared_ptr<platform::CVPixelBuffer> picture_;
  std::shared_ptr<const platform::CMFormatDescription> pictureFormat_;
  std::shared_ptr<const platform::CMFormatDescription> audioFormat_ = platform::broadcastservice::makeAudioFormat(2);
  std::vector<std::int16_t> silence_ = std::vector<std::int16_t>(2 * 1024, 0);
  std::uint64_t videoTime_ = 10'000'000'000;
  std::uint64_t audioTime_ = 0;
};

// The priorities of this process's sockets connected to `port` on the loopback.
std::vector<int> prioritiesOfSocketsTo(std::uint16_t port) {
  std::vector<int> priorities;
  DIR* directory = ::opendir("/proc/self/fd");
  if (!directory) return priorities;
  while (const dirent* entry = ::readdir(directory)) {
    const int fd = std::atoi(entry->d_name);
    sockaddr_in peer{};
    socklen_t peerSize = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 || peer.sin_family != AF_INET ||
        ntohs(peer.sin_port) != port) {
      continue;
    }
    int priority = -1;
    socklen_t prioritySize = sizeof priority;
    if (::getsockopt(fd, SOL_SOCKET, SO_PRIORITY, &priority, &prioritySize) == 0) priorities.push_back(priority);
  }
  ::closedir(directory);
  return priorities;
}

// Keeps every thread of the process pool busy until released, so that no
// forwarding runs meanwhile and the handler's queues fill.
class PoolHold {
 public:
  PoolHold() {
    const unsigned threads = std::max(2u, std::thread::hardware_concurrency());
    // Shared with the holding threads, which may still be leaving the latch
    // when the hold goes.
    latches_ = std::make_shared<Latches>(threads);
    for (unsigned thread = 0; thread < threads; ++thread) {
      asio::post(platform::globalExecutor(), [latches = latches_] {
        latches->held.count_down();
        latches->release.wait();
      });
    }
    latches_->held.wait();
  }
  ~PoolHold() { release(); }
  void release() {
    if (!std::exchange(released_, true)) latches_->release.count_down();
  }

 private:
  struct Latches {
    explicit Latches(unsigned threads) : held(threads) {}
    std::latch held;
    std::latch release{1};
  };
  std::shared_ptr<Latches> latches_;
  bool released_ = false;
};

class SampleHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", (config_.path() / "config").c_str(), 1);
    saveBroadcastConfig("rtmp://127.0.0.1:" + std::to_string(ingest_.port()) + "/live", "handler-test");
  }
  void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

  // Starts the broadcast and feeds pictures until one has reached the
  // stream: from then on the handler publishes and forwards.
  void startPublishing() {
    handler_->broadcastStarted(std::nullopt);
    const bool published = platform::testing::eventually([&] {
      handler_->processSampleBuffer(*samples_.picture(), RPSampleBufferType::video);
      return platform::testing::eventually([&] { return handler_->broadcastStatistics().videoFramesSent > 0; }, 20ms);
    });
    ASSERT_TRUE(published) << ingest_.errorLog();
  }

  peers::TemporaryDirectory config_;
  peers::NginxRTMPServer ingest_{{}};
  std::shared_ptr<SampleHandler> handler_ = SampleHandler::make();
  Samples samples_;
};

// The audio queue keeps a backlog of audioQueueLimit buffers beside the one
// its forwarder has taken; only what pushes out the oldest counts as dropped.
TEST_F(SampleHandlerTest, BuffersBeyondTheBacklogAreCountedAsDroppedAndNotBefore) {
  ASSERT_NO_FATAL_FAILURE(startPublishing());
  // The audio forwarder waits for its first buffer: no sound came yet.
  PoolHold hold;
  const auto before = handler_->broadcastStatistics().buffersDropped;
  for (std::size_t buffer = 0; buffer < 1 + SampleHandler::audioQueueLimit; ++buffer) {
    handler_->processSampleBuffer(*samples_.sound(), RPSampleBufferType::audioApp);
  }
  EXPECT_EQ(handler_->broadcastStatistics().buffersDropped, before) << "within the bound";
  for (int buffer = 0; buffer < 3; ++buffer) handler_->processSampleBuffer(*samples_.sound(), RPSampleBufferType::audioApp);
  EXPECT_EQ(handler_->broadcastStatistics().buffersDropped, before + 3);
  // Pictures count too: the video queue keeps three beside the one its
  // forwarder may take, fewer when pictures from the start still wait there.
  const std::size_t pictures = SampleHandler::videoQueueLimit + 3;
  for (std::size_t picture = 0; picture < pictures; ++picture) {
    handler_->processSampleBuffer(*samples_.picture(), RPSampleBufferType::video);
  }
  const auto picturesDropped = handler_->broadcastStatistics().buffersDropped - (before + 3);
  EXPECT_GE(picturesDropped, 2u);
  EXPECT_LE(picturesDropped, pictures);
  // Microphone sound is never queued, so never dropped either.
  for (int buffer = 0; buffer < 3; ++buffer) handler_->processSampleBuffer(*samples_.sound(), RPSampleBufferType::audioMic);
  EXPECT_EQ(handler_->broadcastStatistics().buffersDropped, before + 3 + picturesDropped);
  hold.release();
  handler_->broadcastFinished();
}

// The service takes a handler that only it holds for one whose work is done,
// so work spawned and not yet begun holds the handler as well: with the pool
// held nothing spawned can begin, and the handler must stay held throughout.
TEST_F(SampleHandlerTest, SpawnedWorkHoldsTheHandlerUntilItHasRun) {
  {
    PoolHold hold;
    handler_->broadcastStarted(std::nullopt);
    EXPECT_GT(handler_.use_count(), 1) << "the start";
  }
  handler_->broadcastFinished();
  EXPECT_TRUE(platform::testing::eventually([&] { return handler_.use_count() == 1; })) << "after the start";

  // A finish without a start (the service may call it after an early end):
  // its close is all there is.
  handler_ = SampleHandler::make();
  {
    PoolHold hold;
    handler_->broadcastFinished();
    EXPECT_GT(handler_.use_count(), 1) << "the close";
  }
  EXPECT_TRUE(platform::testing::eventually([&] { return handler_.use_count() == 1; })) << "after the close";
}

// The broadcast's packets are user-initiated: ahead of bulk traffic, behind
// interactive traffic.
TEST_F(SampleHandlerTest, TheConnectionsSocketCarriesTheUserInitiatedPriority) {
  ASSERT_NO_FATAL_FAILURE(startPublishing());
  const auto priorities = prioritiesOfSocketsTo(ingest_.port());
  ASSERT_FALSE(priorities.empty());
  for (const int priority : priorities) EXPECT_EQ(priority, TC_PRIO_INTERACTIVE_BULK);
  handler_->broadcastFinished();
}

// Raw pictures that the stream drops before its encoder count among the
// extension's drops. Bursts far beyond what the stream's input keeps reach it
// much faster than the encoder takes them.
TEST_F(SampleHandlerTest, PicturesTheStreamDropsBeforeItsEncoderAreCounted) {
  ASSERT_NO_FATAL_FAILURE(startPublishing());
  EXPECT_EQ(handler_->broadcastStatistics().videoFramesDroppedByStream, 0u) << "none at the encoder's pace";
  const bool counted = platform::testing::eventually([&] {
    for (int picture = 0; picture < 1000; ++picture) {
      handler_->processSampleBuffer(*samples_.picture(), RPSampleBufferType::video);
    }
    return platform::testing::eventually(
        [&] { return handler_->broadcastStatistics().videoFramesDroppedByStream > 0; }, 20ms);
  });
  EXPECT_TRUE(counted);
  handler_->broadcastFinished();
}

}  // namespace
}  // namespace tarvelportalbroadcast
