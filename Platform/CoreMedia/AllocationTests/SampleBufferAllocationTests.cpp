// Counts heap blocks made for the sample buffers media passes through: a
// screen picture, a buffer of captured audio, an encoded frame. Its own
// program: the counter replaces the global operator new.

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "Platform/Concurrency/AllocationTests/SkipWithoutRecycling.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "bench/AllocationCounter.hpp"

namespace {

using namespace platform;

constexpr std::size_t kAudioFrames = 1024;
constexpr std::size_t kEncodedFrameSize = 30'000;

std::shared_ptr<const CMFormatDescription> stereo16() {
  constexpr AudioFormatFlags flags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
  return CMFormatDescription::makeAudio({48000, kAudioFormatLinearPCM, flags, 4, 1, 4, 2, 16}).value;
}

// What a capture thread and an encoder's worker make for each buffer.
struct Media {
  std::shared_ptr<const CMFormatDescription> audioFormat = stereo16();
  std::shared_ptr<const CMFormatDescription> videoFormat =
      CMFormatDescription::makeVideo(kCMVideoCodecType_H264, {1280, 720}).value;
  std::shared_ptr<CVPixelBuffer> picture = CVPixelBuffer::make(64, 32, kCVPixelFormatType_32BGRA).value;
  std::shared_ptr<const CMFormatDescription> pictureFormat = CMFormatDescription::makeForImageBuffer(*picture).value;
  std::vector<std::int16_t> samples = std::vector<std::int16_t>(kAudioFrames * 2, 7);

  std::shared_ptr<CMSampleBuffer> audio(std::int64_t index) const {
    auto buffer = CMSampleBuffer::makeAudio(audioFormat, kAudioFrames, CMTime::make(index * 1024, 48000)).value;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(samples.data()),
                                              samples.size() * sizeof(std::int16_t));
    EXPECT_EQ(buffer->setDataBufferFromAudioBuffers(std::span(&bytes, 1)), noErr);
    return buffer;
  }

  std::shared_ptr<CMSampleBuffer> screen(std::int64_t index) const {
    const CMSampleTimingInfo timing{CMTime::make(1, 30), CMTime::make(index, 30), CMTime::invalid};
    return CMSampleBuffer::makeReadyWithImageBuffer(picture, pictureFormat, timing).value;
  }

  // A frame that is not a key frame, so it carries an attachment.
  std::shared_ptr<CMSampleBuffer> encoded(std::int64_t index) const {
    auto bytes = CMBlockBuffer::make(kEncodedFrameSize).value;
    bytes->mutableData()[0] = 1;
    const CMSampleTimingInfo timing{CMTime::make(1, 30), CMTime::make(index, 30), CMTime::make(index, 30)};
    auto sample = CMSampleBuffer::make(std::move(bytes), true, videoFormat, 1, {&timing, 1}, {&kEncodedFrameSize, 1});
    sample.value->mutableSampleAttachments()[0][CMSampleAttachmentKey::notSync] = true;
    return sample.value;
  }
};

// Allocations made while making `batches` batches of each kind on one
// thread, each batch released on another thread, as the pipeline does.
std::int64_t allocationsMaking(const Media& media, int batches) {
  constexpr int kBatch = 8;
  std::vector<std::shared_ptr<CMSampleBuffer>> made;
  made.reserve(3 * kBatch);
  std::vector<std::shared_ptr<CMBlockBuffer>> slices;
  slices.reserve(kBatch);
  std::int64_t count = 0;
  for (std::int64_t batch = 0; batch < batches; ++batch) {
    const auto before = bench::allocationCount();
    for (std::int64_t index = batch * kBatch; index < (batch + 1) * kBatch; ++index) {
      made.push_back(media.audio(index));
      made.push_back(media.screen(index));
      made.push_back(media.encoded(index));
      slices.push_back(made.back()->dataBuffer()->slice(4, 100).value);
    }
    count += bench::allocationCount() - before;
    std::thread([&] {
      made.clear();
      slices.clear();
    }).join();
  }
  return count;
}

TEST(SampleBufferAllocations, SampleBuffersComeFromRecycledBlocksOnceWarm) {
  SKIP_WITHOUT_RECYCLING();
  std::thread([] {
    const Media media;
    EXPECT_GT(allocationsMaking(media, 2), 0);  // the thread's caches start empty
    EXPECT_EQ(allocationsMaking(media, 100), 0);
  }).join();
}

}  // namespace
