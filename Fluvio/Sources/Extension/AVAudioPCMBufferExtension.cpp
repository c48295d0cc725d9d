#include "Fluvio/Sources/Extension/AVAudioPCMBufferExtension.hpp"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "Fluvio/Sources/Extension/AVAudioTimeExtension.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace fluvio {
namespace {

// The valid frames of each buffer-list entry: one for interleaved audio, one
// per channel otherwise. Sized from the frame length, which never exceeds the
// capacity the storage was made for.
std::vector<std::span<std::uint8_t>> frameRegions(const platform::AVAudioPCMBuffer& buffer) {
  const std::size_t bytes = std::size_t{buffer.frameLength()} * buffer.format()->streamDescription().mBytesPerFrame;
  std::vector<std::span<std::uint8_t>> regions;
  for (const platform::AudioBuffer& entry : buffer.audioBufferList()->buffers()) {
    if (entry.mData != nullptr && bytes > 0) regions.emplace_back(static_cast<std::uint8_t*>(entry.mData), bytes);
  }
  return regions;
}

bool sameLayout(const platform::AVAudioFormat& lhs, const platform::AVAudioFormat& rhs) {
  return lhs.commonFormat() == rhs.commonFormat() && lhs.channelCount() == rhs.channelCount() &&
         lhs.isInterleaved() == rhs.isInterleaved() &&
         lhs.streamDescription().mBytesPerFrame == rhs.streamDescription().mBytesPerFrame;
}

}  // namespace

std::shared_ptr<platform::CMSampleBuffer> makeSampleBuffer(const platform::AVAudioPCMBuffer& buffer,
                                                           const platform::AVAudioTime& when) {
  auto made = platform::CMSampleBuffer::makeAudio(buffer.format()->formatDescription(), buffer.frameLength(),
                                                  makeTime(when));
  if (!made) {
    TP_WARN(logger(), "CMAudioSampleBufferCreateWithPacketDescriptions returned error: ", made.status);
    return nullptr;
  }
  const std::vector<std::span<std::uint8_t>> regions = frameRegions(buffer);
  const std::vector<std::span<const std::uint8_t>> audioBuffers(regions.begin(), regions.end());
  if (const platform::OSStatus status = made.value->setDataBufferFromAudioBuffers(audioBuffers);
      status != platform::noErr) {
    TP_WARN(logger(), "CMSampleBufferSetDataBufferFromAudioBufferList returned error: ", status);
    return nullptr;
  }
  return made.value;
}

const std::shared_ptr<platform::AVAudioPCMBuffer>& muted(const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
                                                         bool isMuted) {
  if (!isMuted || !buffer || buffer->format()->commonFormat() == platform::AVAudioCommonFormat::otherFormat) {
    return buffer;
  }
  for (const std::span<std::uint8_t> region : frameRegions(*buffer)) std::fill(region.begin(), region.end(), 0);
  return buffer;
}

bool copy(platform::AVAudioPCMBuffer& destination, const platform::AVAudioBuffer& source) {
  const auto* pcmSource = dynamic_cast<const platform::AVAudioPCMBuffer*>(&source);
  if (pcmSource == nullptr || pcmSource->frameLength() != destination.frameLength() ||
      !sameLayout(*pcmSource->format(), *destination.format())) {
    return false;
  }
  const auto from = frameRegions(*pcmSource);
  const auto to = frameRegions(destination);
  if (from.size() != to.size()) return false;
  for (std::size_t index = 0; index < to.size(); ++index) {
    std::memmove(to[index].data(), from[index].data(), std::min(from[index].size(), to[index].size()));
  }
  return true;
}

}  // namespace fluvio
