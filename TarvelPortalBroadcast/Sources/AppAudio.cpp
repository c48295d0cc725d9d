#include "TarvelPortalBroadcast/Sources/AppAudio.hpp"

#include <cmath>
#include <span>
#include <vector>

#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

namespace tarvelportalbroadcast {

std::optional<AppAudio> makeAppAudio(const platform::CMSampleBuffer& sampleBuffer, std::uint64_t firstPictureTime) {
  const auto format = platform::AVAudioFormat::make(sampleBuffer.formatDescription());
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
  if (skipped >= frames) return std::nullopt;

  const auto kept = static_cast<platform::AVAudioFrameCount>(frames - skipped);
  auto buffer = platform::AVAudioPCMBuffer::make(format, kept);
  if (!buffer) return std::nullopt;
  buffer->setFrameLength(kept);
  std::vector<std::span<std::uint8_t>> destinations;
  for (const auto& entry : buffer->mutableAudioBufferList()->buffers()) {
    destinations.emplace_back(static_cast<std::uint8_t*>(entry.mData), entry.mDataByteSize);
  }
  if (sampleBuffer.copyPCMDataIntoAudioBuffers(skipped, kept, destinations) != platform::noErr) return std::nullopt;
  const double firstTicks = startTicks + static_cast<double>(skipped) * ticksPerSecond / format->sampleRate();
  return AppAudio{std::move(buffer), platform::AVAudioTime::make(static_cast<std::uint64_t>(std::llround(firstTicks)))};
}

}  // namespace tarvelportalbroadcast
