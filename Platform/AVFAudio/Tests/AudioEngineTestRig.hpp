#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/AVFAudio/AVAudioEngine.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioPlayerNode.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"

// An engine on a manual null device whose float output is recorded channel by channel.
namespace platform::engine_testing {

inline const std::shared_ptr<AVAudioFormat> kMono = AVAudioFormat::makeStandard(48000, 1);
inline const std::shared_ptr<AVAudioFormat> kStereo = AVAudioFormat::makeStandard(48000, 2);

// A player sample time at 48 kHz.
inline std::shared_ptr<AVAudioTime> at(AVAudioFramePosition sampleTime) { return AVAudioTime::make(sampleTime, 48000); }

// `frames` frames of deinterleaved float where frame i of channel c holds value(c, i).
inline std::shared_ptr<AVAudioPCMBuffer> makeBuffer(
    const std::shared_ptr<AVAudioFormat>& format, AVAudioFrameCount frames,
    const std::function<float(AVAudioChannelCount, AVAudioFrameCount)>& value) {
  auto buffer = AVAudioPCMBuffer::make(format, frames);
  buffer->setFrameLength(frames);
  for (AVAudioChannelCount channel = 0; channel < format->channelCount(); ++channel) {
    for (AVAudioFrameCount frame = 0; frame < frames; ++frame) {
      buffer->floatChannelData()[channel][frame * buffer->stride()] = value(channel, frame);
    }
  }
  return buffer;
}

inline std::shared_ptr<AVAudioPCMBuffer> makeConstant(const std::shared_ptr<AVAudioFormat>& format,
                                                      AVAudioFrameCount frames, float value) {
  return makeBuffer(format, frames, [value](AVAudioChannelCount, AVAudioFrameCount) { return value; });
}

// Counts how often each buffer's completion ran, in order of running.
class CompletionLog {
 public:
  AVAudioPlayerNode::CompletionHandler handler(int id) {
    return [this, id] {
      std::lock_guard lock(mutex_);
      ids_.push_back(id);
    };
  }
  std::vector<int> ids() const {
    std::lock_guard lock(mutex_);
    return ids_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int> ids_;
};

class EngineRig {
 public:
  explicit EngineRig(AVAudioFrameCount framesPerPeriod = 256, double sampleRate = 48000,
                     AVAudioChannelCount channels = 2)
      : rendered_(channels) {
    device = NullAudioDevice::make(AVAudioFormat::makeStandard(sampleRate, channels), framesPerPeriod,
                                   NullAudioDevice::Clock::manual, [this](const AVAudioPCMBuffer& period) {
                                     for (std::size_t channel = 0; channel < rendered_.size(); ++channel) {
                                       const float* samples = period.floatChannelData()[channel];
                                       rendered_[channel].insert(rendered_[channel].end(), samples,
                                                                 samples + period.frameLength());
                                     }
                                   });
    engine = AVAudioEngine::make(device);
  }

  // A node attached and connected in `format`, with the engine started.
  std::shared_ptr<AVAudioPlayerNode> connectedNode(const std::shared_ptr<AVAudioFormat>& format) {
    auto node = AVAudioPlayerNode::make();
    engine->attach(node);
    engine->connect(node, engine->outputNode(), format);
    engine->start();
    return node;
  }

  // Everything the device has played, channel by channel.
  const std::vector<float>& channel(std::size_t index) const { return rendered_[index]; }

  std::shared_ptr<NullAudioDevice> device;
  std::shared_ptr<AVAudioEngine> engine;

 private:
  std::vector<std::vector<float>> rendered_;
};

}  // namespace platform::engine_testing
