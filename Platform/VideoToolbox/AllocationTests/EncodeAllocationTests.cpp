// Counts heap blocks made while pictures go through a compression session:
// the frame's job, its queue and the encoded sample handed to the output
// handler. The encoder library's own memory is malloc's and not counted. Its
// own program: the counter replaces the global operator new.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "Platform/Concurrency/AllocationTests/SkipWithoutRecycling.hpp"
#include "Platform/VideoToolbox/VTCompressionSession.hpp"
#include "bench/AllocationCounter.hpp"

namespace {

using namespace platform;

constexpr std::int32_t kSide = 64;
constexpr std::int32_t kTimescale = 30;
// Blocks the encoder takes when it is opened again after a drain.
constexpr std::int64_t kEncoderRestart = 32;

// What the output handler saw, written on the session's thread and read once
// the session has emitted everything.
struct Emitted {
  std::atomic<int> samples = 0;
  std::atomic<int> failures = 0;
  std::atomic<std::int64_t> lastTime = -1;
  std::atomic<bool> outOfOrder = false;

  VTCompressionSession::OutputHandler handler() {
    return [this](OSStatus status, VTEncodeInfoFlags, std::shared_ptr<CMSampleBuffer> sample) {
      if (status != noErr || !sample) {
        ++failures;
        return;
      }
      const std::int64_t time = sample->presentationTimeStamp().value;
      if (time <= lastTime.exchange(time)) outOfOrder = true;
      ++samples;
    };
  }
};

class EncodeAllocations : public testing::Test {
 protected:
  void SetUp() override {
    auto made = VTCompressionSession::make(kSide, kSide, kCMVideoCodecType_H264, nullptr, std::nullopt);
    ASSERT_TRUE(made) << made.status;
    session_ = made.value;
    const VTPropertyDictionary properties{
        {std::string(kVTCompressionPropertyKey_RealTime), true},
        {std::string(kVTCompressionPropertyKey_AllowFrameReordering), false},
        {std::string(kVTCompressionPropertyKey_AverageBitRate), std::int64_t{200'000}},
    };
    ASSERT_EQ(session_->setProperties(properties), noErr);
    ASSERT_EQ(session_->prepareToEncodeFrames(), noErr);
    picture_ = CVPixelBuffer::make(kSide, kSide, kCVPixelFormatType_32BGRA).value;
    ASSERT_TRUE(picture_);
  }

  void TearDown() override {
    if (session_) session_->invalidate();
  }

  OSStatus encode(std::int64_t frame) {
    return session_->encodeFrame(picture_, CMTime::make(frame, kTimescale), CMTime::make(1, kTimescale),
                                 emitted_.handler());
  }

  // Frames [first, first + count) from this thread, which waits while the
  // session is full, then every one of them emitted.
  void encodeAndComplete(std::int64_t first, int count) {
    for (std::int64_t frame = first; frame < first + count; ++frame) ASSERT_EQ(encode(frame), noErr);
    ASSERT_EQ(session_->completeFrames(), noErr);
  }

  std::shared_ptr<VTCompressionSession> session_;
  std::shared_ptr<CVPixelBuffer> picture_;
  Emitted emitted_;
};

// Draining twice warms the encoder's restart after a drain too, whose next
// frame is a key frame with its own parameter sets. That restart opens the
// encoder again, which costs a couple of dozen blocks whatever the number of
// frames before it; the frames themselves cost none.
TEST_F(EncodeAllocations, FramesAllocateNothingOnceWarmOnlyTheRestartAfterADrainDoes) {
  SKIP_WITHOUT_RECYCLING();
  constexpr int kWarmUp = 20;
  constexpr int kFrames = 600;
  encodeAndComplete(0, kWarmUp);
  encodeAndComplete(kWarmUp, kWarmUp);
  ASSERT_EQ(emitted_.samples, 2 * kWarmUp);

  const auto before = bench::allocationCount();
  encodeAndComplete(2 * kWarmUp, kFrames);
  const auto made = bench::allocationCount() - before;

  EXPECT_EQ(emitted_.samples, 2 * kWarmUp + kFrames);
  EXPECT_EQ(emitted_.failures, 0);
  EXPECT_FALSE(emitted_.outOfOrder);
  RecordProperty("allocations", std::to_string(made));
  EXPECT_LE(made, kEncoderRestart);
}

}  // namespace
