#include "Platform/AVFAudio/AudioConnectionRenderer.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace platform {

namespace {

// Adds `source` into `mix` (both deinterleaved float). On two or more mix
// channels the pan turns the first two down towards the other side; a mono
// source goes to those two.
void addScaled(const AVAudioPCMBuffer& source, AVAudioPCMBuffer& mix, AVAudioFrameCount frames, float volume,
               float pan) {
  const float* const* input = source.floatChannelData();
  float* const* output = mix.floatChannelData();
  const AVAudioChannelCount mixChannels = mix.format()->channelCount();
  const AVAudioChannelCount sourceChannels = source.format()->channelCount();
  const bool panned = mixChannels >= 2;
  const float left = panned ? volume * std::min(1.0f, 1.0f - pan) : volume;
  const float right = panned ? volume * std::min(1.0f, 1.0f + pan) : volume;
  const auto gain = [&](AVAudioChannelCount channel) { return channel == 0 ? left : channel == 1 ? right : volume; };
  const AVAudioChannelCount outputs = sourceChannels == 1 ? std::min<AVAudioChannelCount>(mixChannels, 2) : mixChannels;
  for (AVAudioChannelCount channel = 0; channel < outputs; ++channel) {
    const float* from = input[sourceChannels == 1 ? 0 : channel];
    float* to = output[channel];
    const float channelGain = gain(channel);
    for (AVAudioFrameCount frame = 0; frame < frames; ++frame) to[frame] += from[frame] * channelGain;
  }
}

}  // namespace

AudioConnectionRenderer::AudioConnectionRenderer(std::shared_ptr<AVAudioPlayerNode> node,
                                                 std::shared_ptr<AVAudioFormat> format,
                                                 const std::shared_ptr<AVAudioFormat>& mixFormat)
    : node_(std::move(node)),
      format_(std::move(format)),
      mixRate_(mixFormat->sampleRate()),
      convertedFormat_(
          AVAudioFormat::makeStandard(mixRate_, format_->channelCount() == 1 ? 1 : mixFormat->channelCount())) {
  if (convertedFormat_ && *format_ == *convertedFormat_) {
    convertible_ = true;
    return;
  }
  converter_ = AVAudioConverter::make(format_, convertedFormat_);
  convertible_ = converter_ != nullptr;
  if (converter_ && format_->channelCount() > convertedFormat_->channelCount()) converter_->setDownmix(true);
}

AVAudioFramePosition AudioConnectionRenderer::nodeSampleTime(std::uint64_t mixFrames) const noexcept {
  return static_cast<AVAudioFramePosition>(
      std::floor(static_cast<long double>(mixFrames) * format_->sampleRate() / mixRate_));
}

void AudioConnectionRenderer::markRenderTime(std::uint64_t hostTime) {
  node_->setRenderTime(hostTime, nodeSampleTime(mixFrames_), format_->sampleRate());
}

void AudioConnectionRenderer::mix(AVAudioPCMBuffer& mix, AVAudioFrameCount frames, std::uint64_t hostTime,
                                  std::vector<AVAudioPlayerNode::CompletionHandler>& finished) {
  markRenderTime(hostTime);
  if (node_->isPlaying()) {
    if (const AVAudioPCMBuffer* source = renderConverted(frames, finished)) {
      addScaled(*source, mix, frames, node_->volume(), node_->pan());
    }
  }
  mixFrames_ += frames;
}

AVAudioPCMBuffer* AudioConnectionRenderer::scratch(AVAudioFrameCount frames) {
  if (!scratch_ || scratch_->frameCapacity() < frames) scratch_ = AVAudioPCMBuffer::make(format_, frames);
  return scratch_.get();
}

AVAudioPCMBuffer* AudioConnectionRenderer::renderConverted(
    AVAudioFrameCount frames, std::vector<AVAudioPlayerNode::CompletionHandler>& finished) {
  if (!convertible_) {
    const auto nodeFrames =
        static_cast<AVAudioFrameCount>(nodeSampleTime(mixFrames_ + frames) - nodeSampleTime(mixFrames_));
    if (AVAudioPCMBuffer* unheard = scratch(nodeFrames)) node_->render(*unheard, nodeFrames, finished);
    return nullptr;
  }
  if (!converter_) {
    AVAudioPCMBuffer* direct = scratch(frames);
    if (direct) node_->render(*direct, frames, finished);
    return direct;
  }
  // The converter fills whole buffers: one of exactly the cycle's length.
  if (!converted_ || converted_->frameCapacity() != frames)
    converted_ = AVAudioPCMBuffer::make(convertedFormat_, frames);
  if (!converted_) return nullptr;
  const auto status = converter_->convert(
      *converted_, nullptr, [this, &finished](AVAudioPacketCount count, AVAudioConverterInputStatus& inputStatus) {
        AVAudioPCMBuffer* input = scratch(count);
        if (!input) {
          inputStatus = AVAudioConverterInputStatus::noDataNow;
          return std::shared_ptr<AVAudioBuffer>();
        }
        node_->render(*input, count, finished);
        inputStatus = AVAudioConverterInputStatus::haveData;
        return std::shared_ptr<AVAudioBuffer>(scratch_);
      });
  return status == AVAudioConverterOutputStatus::haveData ? converted_.get() : nullptr;
}

}  // namespace platform
