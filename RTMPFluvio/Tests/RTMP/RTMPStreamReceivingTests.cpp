#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "Fluvio/Tests/Stream/IncomingStreamTestSupport.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMediaPackager.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceiveBacklog.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPCaptureConnection.hpp"

namespace rtmpfluvio {
namespace {

using namespace std::chrono_literals;
using platform::blockOn;

// Our own encoded pictures as a server sends them to a player: the sequence
// header, then every frame, each `spacingMs` apart.
std::vector<RTMPVideoMessage> receivedVideo(int frames, std::uint32_t spacingMs) {
  RTMPMediaPackager packager;
  packager.setPublishing(true);
  packager.setStreamId(1);
  std::vector<RTMPVideoMessage> messages;
  std::uint32_t index = 0;
  for (const auto& sample : fluvio::testing::encodeVideo(frames)) {
    const auto package = packager.package(sample);
    if (package.sequenceHeader) {
      messages.push_back(RTMPVideoMessage(1, 0, std::get<RTMPVideoMessage>(package.sequenceHeader->message).payload()));
    }
    if (package.body) {
      messages.push_back(RTMPVideoMessage(1, index++ * spacingMs, std::get<RTMPVideoMessage>(package.body->message).payload()));
    }
  }
  return messages;
}

// The reading side of a connection: counts what the stream keeps and hears
// when reading may go on.
struct Reading {
  Reading() : backlog(20 * RTMPReceiveBacklog::kMessageCost) {
    backlog.setResumed([this] {
      std::lock_guard lock(mutex);
      ++resumed;
      changed.notify_all();
    });
  }
  // The last hold goes with the append the stream was waiting in, after the
  // decoder's stop.
  bool emptiesWithin(std::chrono::seconds wait) const {
    for (const auto deadline = std::chrono::steady_clock::now() + wait; std::chrono::steady_clock::now() < deadline;) {
      if (backlog.heldBytes() == 0) return true;
      std::this_thread::yield();
    }
    return false;
  }
  bool resumesWithin(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, wait, [this] { return resumed > 0; });
  }

  RTMPReceiveBacklog backlog;
  std::mutex mutex;
  std::condition_variable changed;
  int resumed = 0;
};

// Pictures that fall due only far apart fill the media link; the stream then
// feeds its decoder no more, keeps what it has not fed, and with it the
// holds that stop the connection reading. Closing gives every hold back.
TEST(RTMPStreamReceivingTests, MediaPlaybackCannotTakeKeepsItsHoldUntilTheStreamCloses) {
  constexpr int kFrames = 150;
  auto connection = std::make_shared<testing::RTMPCaptureConnection>(true, 3000ms);
  auto stream = RTMPStream::make(connection);
  blockOn(stream->createStream());
  const auto sentBefore = connection->sent().size();
  auto played = std::async(std::launch::async, [&] { return blockOn(stream->play({"key"})); });
  connection->waitForSent(sentBefore + 1);
  blockOn(stream->dispatch(testing::onStatus("NetStream.Play.Start", "status"), RTMPChunkType::zero));
  played.get();

  Reading reading;
  // A thousand seconds apart: the link releases the first picture only.
  for (const auto& message : receivedVideo(kFrames, 1'000'000)) {
    stream->didReceive(message, RTMPChunkType::zero, reading.backlog.take(message.payload().size()));
  }
  EXPECT_FALSE(reading.backlog.admitsMore());
  EXPECT_FALSE(reading.resumesWithin(300ms)) << "the stream let go of media its decoder has not taken";

  blockOn(stream->connectionWillClose());
  EXPECT_TRUE(reading.resumesWithin(10s));
  EXPECT_TRUE(reading.emptiesWithin(10s)) << reading.backlog.heldBytes() << " bytes still held";
}

}  // namespace
}  // namespace rtmpfluvio
