#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/ReplayKit/RPSampleBufferType.hpp"

namespace platform::broadcastservice {

// The service's audio: 48 kHz signed 16-bit interleaved PCM in buffers of
// 1024 frames, each stamped with the host time of its first frame.
inline constexpr int audioSampleRate = 48'000;
inline constexpr int audioFramesPerBuffer = 1024;

// A running producer of audio buffers of one kind; it stops when destroyed.
class AudioSource {
 public:
  virtual ~AudioSource() = default;
};

using AudioSink = std::function<void(const CMSampleBuffer&, RPSampleBufferType)>;

// The format of the service's audio with `channels` channels.
std::shared_ptr<const CMFormatDescription> makeAudioFormat(int channels);
// One buffer of interleaved samples starting at `hostTime`.
std::shared_ptr<CMSampleBuffer> makeAudioSampleBuffer(const std::shared_ptr<const CMFormatDescription>& format,
                                                      std::span<const std::int16_t> samples, std::uint64_t hostTime);

}  // namespace platform::broadcastservice
