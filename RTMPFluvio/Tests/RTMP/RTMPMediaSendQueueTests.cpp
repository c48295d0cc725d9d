#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPMediaSendQueue.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPStreamTestMedia.hpp"

namespace rtmpfluvio {
namespace {

// A frame at `seconds`; a key frame when `key`.
platform::CMSampleBuffer frameAt(double seconds, bool key) {
  const auto time = platform::CMTime::makeWithSeconds(seconds, 90000);
  return testing::encodedFrame(testing::h264Description(), time, time, key);
}

RTMPMediaSendQueue::Audio audioAt(double seconds) {
  return {testing::aacPacket(48000, 2), *testing::audioTimeAt(seconds)};
}

// What the queue holds, oldest first: "K1.00" a key frame, "P1.03" another
// frame, "A1.00" audio, by time.
std::vector<std::string> drain(RTMPMediaSendQueue& queue) {
  std::vector<std::string> held;
  while (auto media = queue.pop()) {
    char text[16];
    if (const auto* frame = std::get_if<platform::CMSampleBuffer>(&*media)) {
      std::snprintf(text, sizeof text, "%c%.2f", fluvio::isNotSync(*frame) ? 'P' : 'K',
                    frame->decodeTimeStamp().seconds());
    } else {
      std::snprintf(text, sizeof text, "A%.2f",
                    platform::AVAudioTime::seconds(std::get<RTMPMediaSendQueue::Audio>(*media).when.hostTime()));
    }
    held.push_back(text);
  }
  return held;
}

// Up to the bound nothing goes; one frame past it, video goes from the
// oldest up to the next key frame held, the audio stays, and the drops are
// counted.
TEST(RTMPMediaSendQueueTests, PastTheBoundVideoGoesUpToTheNextKeyFrame) {
  RTMPMediaSendQueue queue;
  int keyFrameRequests = 0;
  queue.setKeyFrameRequest([&keyFrameRequests] { ++keyFrameRequests; });
  queue.push(frameAt(1.0, true));
  queue.push(audioAt(1.0));
  queue.push(frameAt(1.5, false));
  queue.push(frameAt(1.75, true));
  queue.push(frameAt(2.0, false));
  EXPECT_EQ(queue.drops().videoFrames, 0u) << "a second exactly is within the bound";
  queue.push(frameAt(2.25, false));
  EXPECT_EQ(queue.drops().videoFrames, 2u);
  EXPECT_EQ(keyFrameRequests, 0) << "a key frame is held";
  EXPECT_EQ(drain(queue), (std::vector<std::string>{"A1.00", "K1.75", "P2.00", "P2.25"}));
}

// Holding no key frame after the dropped ones, the queue lets go of all its
// video and of every frame after until a key frame comes: none that the
// server could not decode is sent. The encoder is asked for a key frame once
// a wait.
TEST(RTMPMediaSendQueueTests, WithoutAKeyFrameHeldFramesWaitForTheNextOne) {
  RTMPMediaSendQueue queue;
  int keyFrameRequests = 0;
  queue.setKeyFrameRequest([&keyFrameRequests] { ++keyFrameRequests; });
  queue.push(frameAt(1.0, true));
  for (int frame = 1; frame <= 30; ++frame) queue.push(frameAt(1.0 + frame / 30.0, false));
  EXPECT_EQ(keyFrameRequests, 0);
  queue.push(frameAt(1.0 + 31 / 30.0, false));
  EXPECT_EQ(queue.drops().videoFrames, 32u);
  EXPECT_EQ(keyFrameRequests, 1);
  EXPECT_TRUE(queue.empty());
  queue.push(frameAt(2.1, false));
  EXPECT_EQ(queue.drops().videoFrames, 33u);
  queue.push(frameAt(2.2, true));
  queue.push(frameAt(2.3, false));
  EXPECT_EQ(queue.drops().videoFrames, 33u);
  EXPECT_EQ(keyFrameRequests, 1);
  EXPECT_EQ(drain(queue), (std::vector<std::string>{"K2.20", "P2.30"}));

  // A second wait asks again.
  queue.push(frameAt(3.0, true));
  queue.push(frameAt(4.1, false));
  EXPECT_EQ(queue.drops().videoFrames, 35u);
  EXPECT_EQ(keyFrameRequests, 2);
}

// Audio is held for as long, then the oldest goes, one buffer at a time; the
// video between stays.
TEST(RTMPMediaSendQueueTests, AudioPastTheBoundLosesItsOldest) {
  RTMPMediaSendQueue queue;
  queue.push(audioAt(1.0));
  queue.push(frameAt(1.0, true));
  queue.push(audioAt(1.5));
  queue.push(audioAt(2.0));
  EXPECT_EQ(queue.drops().audioBuffers, 0u);
  queue.push(audioAt(2.25));
  EXPECT_EQ(queue.drops().audioBuffers, 1u);
  EXPECT_EQ(queue.drops().videoFrames, 0u);
  EXPECT_EQ(drain(queue), (std::vector<std::string>{"K1.00", "A1.50", "A2.00", "A2.25"}));
}

// A clear lets go of what is held, says how many frames that was, and ends
// any wait for a key frame; the drop counts stay.
TEST(RTMPMediaSendQueueTests, ClearStartsOverAndTellsTheFramesItHeld) {
  RTMPMediaSendQueue queue;
  queue.push(frameAt(1.0, true));
  queue.push(frameAt(2.5, false));
  EXPECT_EQ(queue.drops().videoFrames, 2u);
  queue.push(audioAt(3.0));
  queue.push(frameAt(3.0, true));
  queue.push(frameAt(3.1, false));
  EXPECT_EQ(queue.clear(), 2u);
  EXPECT_TRUE(queue.empty());
  queue.push(frameAt(0.5, true));
  queue.push(frameAt(0.6, false));
  EXPECT_EQ(drain(queue), (std::vector<std::string>{"K0.50", "P0.60"}));
  EXPECT_EQ(queue.drops().videoFrames, 2u);
}

}  // namespace
}  // namespace rtmpfluvio
