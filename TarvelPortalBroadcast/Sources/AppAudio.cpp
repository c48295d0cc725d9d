#include "TarvelPortalBroadcast/Sources/AppAudio.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Platform/CoreMedia/HostClock.hpp"

namespace tarvelportalbroadcast {

std::optional<AppAudio> AppAudioMaker::make(const platform::CMSampleBuffer& sampleBuffer,
                                            std::uint64_t firstPictureTime) {
  const auto& format = formatOf(sampleBuffer.formatDescription());
  const auto start = sampleBuffer.presentationTimeStamp();
  if (!format || !(format->sampleRate() > 0) || !start.isValid() || start.value < 0) return std::nullopt;
  constexpr double ticksPerSecond = platform::HostClock::ticksPerSecond;
  const double startTicks = start.seconds() * ticksPerSecond;
  const double notBefore = static_cast<double>(firstPictureTime) + aacPrimingFrames * ticksPerSecond / format->sampleRate();
  const double late = notBefore - startTicks;
  const std::size_t frames = sampleBuffer.numSamples();
  const std::size_t skipped =
      late > 0 ? static_cast<std::size_t>(std::min<double>(std::ceil(late * format->sampleRate() / ticksPerSecond),
                                                           static_cast<double>(frames)))
               : 0;
  if (skipped >= frames || frames > std::numeric_limits<platform::AVAudioFrameCount>::max()) return std::nullopt;

  const auto kept = static_cast<platform::AVAudioFrameCount>(frames - skipped);
  auto buffer = takeBuffer(static_cast<platform::AVAudioFrameCount>(frames));
  if (!buffer) return std::nullopt;
  buffer->setFrameLength(kept);
  destinations_.clear();
  for (const auto& entry : buffer->mutableAudioBufferList()->buffers()) {
    destinations_.emplace_back(static_cast<std::uint8_t*>(entry.mData), entry.mDataByteSize);
  }
  if (sampleBuffer.copyPCMDataIntoAudioBuffers(skipped, kept, destinations_) != platform::noErr) return std::nullopt;
  const double firstTicks = startTicks + static_cast<double>(skipped) * ticksPerSecond / format->sampleRate();
  return AppAudio{std::move(buffer), platform::AVAudioTime::make(static_cast<std::uint64_t>(std::llround(firstTicks)))};
}

const std::shared_ptr<platform::AVAudioFormat>& AppAudioMaker::formatOf(
    const std::shared_ptr<const platform::CMFormatDescription>& description) {
  if (format_ && platform::equalFormatDescriptions(format_->formatDescription(), description)) return format_;
  format_ = platform::AVAudioFormat::make(description);
  buffers_.reset();
  frameCapacity_ = 0;
  return format_;
}

std::shared_ptr<platform::AVAudioPCMBuffer> AppAudioMaker::takeBuffer(platform::AVAudioFrameCount frames) {
  if (!buffers_ || frames > frameCapacity_) {
    // Buffers handed out before keep their own capacity and are freed as they come back.
    buffers_ = std::make_unique<platform::SharedObjectRecycler<platform::AVAudioPCMBuffer>>();
    frameCapacity_ = frames;
  }
  return buffers_->take([this] { return platform::AVAudioPCMBuffer::makeUnique(format_, frameCapacity_); });
}

}  // namespace tarvelportalbroadcast
