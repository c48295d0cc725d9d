#include "Platform/ReplayKit/Service/AudioSource.hpp"

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform::broadcastservice {

std::shared_ptr<const CMFormatDescription> makeAudioFormat(int channels) {
  const auto bytesPerFrame = static_cast<std::uint32_t>(2 * channels);
  const AudioStreamBasicDescription description{audioSampleRate,
                                                kAudioFormatLinearPCM,
                                                kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked,
                                                bytesPerFrame,
                                                1,
                                                bytesPerFrame,
                                                static_cast<std::uint32_t>(channels),
                                                16};
  return CMFormatDescription::makeAudio(description).value;
}

std::shared_ptr<CMSampleBuffer> makeAudioSampleBuffer(const std::shared_ptr<const CMFormatDescription>& format,
                                                      std::span<const std::int16_t> samples, std::uint64_t hostTime) {
  const auto channels = format->audioStreamBasicDescription()->mChannelsPerFrame;
  auto buffer = CMSampleBuffer::makeAudio(format, samples.size() / channels, HostClock::time(hostTime));
  if (!buffer) return nullptr;
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(samples.data()), samples.size_bytes());
  if (buffer.value->setDataBufferFromAudioBuffers(std::span(&bytes, 1)) != noErr) return nullptr;
  return buffer.value;
}

}  // namespace platform::broadcastservice
