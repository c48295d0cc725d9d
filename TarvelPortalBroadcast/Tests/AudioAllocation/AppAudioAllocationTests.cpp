// Counts heap blocks made for app audio on its way from the sample buffers
// the service delivers to encoded packets: the extension's PCM buffers and
// times, and the codec's conversion to AAC with its packet buffers and
// times. Its own program: the counter replaces the global operator new.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "Fluvio/Sources/Codec/AudioCodec.hpp"
#include "Platform/Concurrency/AllocationTests/SkipWithoutRecycling.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/ReplayKit/Service/AudioSource.hpp"
#include "TarvelPortalBroadcast/Sources/AppAudio.hpp"
#include "bench/AllocationCounter.hpp"

namespace tarvelportalbroadcast {
namespace {

constexpr int kFrames = 1024;
constexpr double kRate = 48'000;
constexpr std::uint64_t kStart = 5'000'000'000;
constexpr int kWarmUp = 40;
constexpr int kCounted = 400;
// The stream's queue keeps a few buffers before the codec takes them.
constexpr std::size_t kQueued = 4;

std::uint64_t hostTimeOf(int buffer) {
  return kStart + static_cast<std::uint64_t>(std::llround(buffer * kFrames * 1e9 / kRate));
}

// Stereo 16-bit buffers of a ramp, one after the other, made before anything
// is counted: they are the service's.
std::vector<std::shared_ptr<platform::CMSampleBuffer>> serviceBuffers(int count) {
  const auto format = platform::broadcastservice::makeAudioFormat(2);
  std::vector<std::int16_t> samples(2 * kFrames);
  std::vector<std::shared_ptr<platform::CMSampleBuffer>> buffers;
  for (int buffer = 0; buffer < count; ++buffer) {
    for (int sample = 0; sample < 2 * kFrames; ++sample) samples[sample] = static_cast<std::int16_t>(buffer + sample);
    buffers.push_back(platform::broadcastservice::makeAudioSampleBuffer(format, samples, hostTimeOf(buffer)));
  }
  return buffers;
}

class AppAudioPath {
 public:
  AppAudioPath() : codec_(fluvio::AudioCodec::make()) {
    codec_->setSettings(fluvio::AudioCodecSettings(128'000, true, std::nullopt, 0, fluvio::AudioCodecFormat::aac));
    codec_->startRunning();
  }

  // Into a queue of a few, as the handler's; the oldest goes to the codec.
  bool deliver(const platform::CMSampleBuffer& sampleBuffer) {
    auto audio = maker_.make(sampleBuffer, 0);
    if (!audio) return false;
    auto& slot = queue_[next_++ % queue_.size()];
    if (slot.buffer) codec_->append(slot.buffer, slot.when);
    slot = std::move(*audio);
    return true;
  }

  fluvio::AudioCodec& codec() { return *codec_; }

 private:
  AppAudioMaker maker_;
  std::shared_ptr<fluvio::AudioCodec> codec_;
  std::array<AppAudio, kQueued> queue_;
  std::size_t next_ = 0;
};

TEST(AppAudioAllocations, ABufferOnItsWayToAnEncodedPacketAllocatesNothingOnceWarm) {
  SKIP_WITHOUT_RECYCLING();
  const auto buffers = serviceBuffers(kWarmUp + kCounted + 2);
  AppAudioPath path;
  for (int buffer = 0; buffer < kWarmUp; ++buffer) ASSERT_TRUE(path.deliver(*buffers[buffer]));

  const auto before = bench::allocationCount();
  for (int buffer = kWarmUp; buffer < kWarmUp + kCounted; ++buffer) ASSERT_TRUE(path.deliver(*buffers[buffer]));
  const auto made = bench::allocationCount() - before;
  RecordProperty("allocations_per_buffer", std::to_string(static_cast<double>(made) / kCounted));
  EXPECT_EQ(made, 0);

  // Every buffer was encoded: the next packet is timed after all of them.
  // Queued buffers wait, and the encoder's first packet is its start-up.
  auto stream = path.codec().outputStream();
  ASSERT_TRUE(path.deliver(*buffers[kWarmUp + kCounted]));
  const auto packet = platform::blockOn(stream.next());
  ASSERT_TRUE(packet);
  const auto encoded = kWarmUp + kCounted + 1 - static_cast<int>(kQueued) - 1;
  EXPECT_NEAR(static_cast<double>(packet->second->hostTime()), static_cast<double>(hostTimeOf(encoded)), 1);
  EXPECT_EQ(std::dynamic_pointer_cast<platform::AVAudioCompressedBuffer>(packet->first)->packetCount(), 1u);
}

}  // namespace
}  // namespace tarvelportalbroadcast
