#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "Fluvio/Sources/Mixer/AudioMixer.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"

namespace fluvio::testing {

inline std::shared_ptr<platform::AVAudioFormat> int16Format(double rate, std::uint32_t channels = 2) {
  return platform::AVAudioFormat::make(platform::AVAudioCommonFormat::pcmFormatInt16, rate, channels, true);
}

// A generated signal cut into buffers: a constant level, or a sine of
// `frequency` hertz at that level, on every channel; each buffer is stamped
// with its sample time and the host time it starts at.
struct ToneSource {
  std::shared_ptr<platform::AVAudioFormat> format;
  double level = 0;  // in 16-bit units
  double frequency = 0;
  std::int64_t sampleTime = 0;
  std::uint64_t hostStart = 1'000'000'000;

  std::pair<std::shared_ptr<platform::AVAudioPCMBuffer>, std::shared_ptr<platform::AVAudioTime>> next(
      std::uint32_t frames) {
    auto buffer = platform::AVAudioPCMBuffer::make(format, frames);
    buffer->setFrameLength(frames);
    const auto channels = format->channelCount();
    auto* samples = buffer->int16ChannelData()[0];
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
      const double t = double(sampleTime + frame) / format->sampleRate();
      const double value = frequency > 0 ? level * std::sin(2 * M_PI * frequency * t) : level;
      for (std::uint32_t channel = 0; channel < channels; ++channel) {
        samples[frame * channels + channel] = static_cast<std::int16_t>(std::lround(value));
      }
    }
    const auto host = hostStart + std::uint64_t(double(sampleTime) / format->sampleRate() * 1e9);
    auto when = platform::AVAudioTime::make(host, sampleTime, format->sampleRate());
    sampleTime += frames;
    return {buffer, when};
  }
};

struct MixedBlock {
  std::vector<std::int16_t> samples;
  std::int64_t sampleTime;
  double sampleRate;
  std::uint64_t hostTime;
};

// Keeps a copy of every block a mixer delivers.
class RecordingMixerDelegate final : public AudioMixerDelegate {
 public:
  void audioMixer(AudioMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
                  const std::shared_ptr<platform::AVAudioTime>& when) override {
    const auto* data = buffer->int16ChannelData()[0];
    blocks.push_back({std::vector<std::int16_t>(data, data + buffer->frameLength() * buffer->format()->channelCount()),
                      when->sampleTime(), when->sampleRate(), when->hostTime()});
  }
  std::vector<MixedBlock> blocks;
};

}  // namespace fluvio::testing
