#include "Fluvio/Sources/Mixer/AudioMixerTrack.hpp"

#include <algorithm>
#include <cmath>

#include "Fluvio/Sources/Extension/AVAudioPCMBufferExtension.hpp"
#include "Fluvio/Sources/ISO/AudioFormatExtension.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"

namespace fluvio {

namespace {

// The clock counts output frames, so an anchor given at the input's rate is
// moved to the output's.
std::shared_ptr<platform::AVAudioTime> anchorAtRate(const platform::AVAudioTime& when, double outputRate) {
  if (!when.isSampleTimeValid() || !(when.sampleRate() > 0)) {
    return when.isHostTimeValid() ? platform::AVAudioTime::make(when.hostTime(), 0, outputRate) : nullptr;
  }
  const auto sampleTime = static_cast<platform::AVAudioFramePosition>(
      std::llround(static_cast<double>(when.sampleTime()) * outputRate / when.sampleRate()));
  return when.isHostTimeValid() ? platform::AVAudioTime::make(when.hostTime(), sampleTime, outputRate)
                                : platform::AVAudioTime::make(sampleTime, outputRate);
}

}  // namespace

bool isSameFormat(const std::shared_ptr<const platform::CMFormatDescription>& lhs,
                  const std::shared_ptr<const platform::CMFormatDescription>& rhs) {
  return lhs == rhs || (lhs && rhs && *lhs == *rhs);
}

void AudioMixerTrack::setSettings(AudioMixerTrackSettings settings) {
  std::swap(settings_, settings);
  settings_.apply(settings, audioConverter_.get());
}

bool AudioMixerTrack::setInSourceFormat(const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) {
  if (!isSameFormat(inSourceFormat_, formatDescription)) {
    inSourceFormat_ = formatDescription;
    setUp(formatDescription);
  }
  return ringBuffer_ != nullptr;
}

void AudioMixerTrack::setUp(const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) {
  // A format the pipeline cannot take drops the old pipeline too, so no
  // buffer of it ever reaches a ring of another format.
  ringBuffer_.reset();
  inputBuffer_.reset();
  outputBuffer_.reset();
  audioConverter_.reset();
  audioTime_->reset();
  auto inputFormat = makeAudioFormat(formatDescription);
  auto converter = inputFormat ? platform::AVAudioConverter::make(inputFormat, outputFormat_) : nullptr;
  auto ring = inputFormat ? AudioRingBuffer::make(inputFormat, ringBufferCounts) : nullptr;
  auto input = inputFormat ? platform::AVAudioPCMBuffer::make(inputFormat, inputFrames) : nullptr;
  auto output = platform::AVAudioPCMBuffer::make(outputFormat_, blockFrames);
  if (!converter || !ring || !input || !output) {
    TP_ERROR(logger(), "track ", static_cast<int>(id_), " drops audio it cannot convert to ", *outputFormat_);
    return;
  }
  TP_INFO(logger(), "inputFormat:", *inputFormat, ", outputFormat:", *outputFormat_);
  converter->setDownmix(settings_.downmix);
  if (auto map = settings_.validChannelMap(*converter)) {
    converter->setChannelMap(std::move(*map));
  } else if (outputFormat_->channelCount() == 1) {
    converter->setChannelMap({0});
  } else if (outputFormat_->channelCount() == 2) {
    converter->setChannelMap(inputFormat->channelCount() == 1 ? std::vector<std::int64_t>{0, 0}
                                                              : std::vector<std::int64_t>{0, 1});
  }
  ringBuffer_ = std::move(ring);
  inputBuffer_ = std::move(input);
  outputBuffer_ = std::move(output);
  audioConverter_ = std::move(converter);
}

void AudioMixerTrack::append(const platform::CMSampleBuffer& sampleBuffer) {
  if (!setInSourceFormat(sampleBuffer.formatDescription())) return;
  if (!audioTime_->hasAnchor()) audioTime_->anchor(sampleBuffer.presentationTimeStamp(), outputFormat_->sampleRate());
  ringBuffer_->append(sampleBuffer);
  pull();
}

void AudioMixerTrack::append(const platform::AVAudioPCMBuffer& buffer,
                             const std::shared_ptr<platform::AVAudioTime>& when) {
  if (!buffer.format() || !setInSourceFormat(buffer.format()->formatDescription()) || !when) return;
  if (!audioTime_->hasAnchor()) audioTime_->anchor(anchorAtRate(*when, outputFormat_->sampleRate()));
  ringBuffer_->append(buffer, *when);
  pull();
}

void AudioMixerTrack::pull() {
  const auto inputBlock = [this](platform::AVAudioPacketCount wanted, platform::AVAudioConverterInputStatus& status)
      -> std::shared_ptr<platform::AVAudioBuffer> {
    // What is there goes in now: the converter keeps what it makes beyond
    // one block for the next.
    const auto frames = std::min({wanted, ringBuffer_->counts(), inputBuffer_->frameCapacity()});
    if (frames == 0) {
      status = platform::AVAudioConverterInputStatus::noDataNow;
      return nullptr;
    }
    inputBuffer_->setFrameLength(frames);
    ringBuffer_->render(frames, inputBuffer_->mutableAudioBufferList());
    status = platform::AVAudioConverterInputStatus::haveData;
    return inputBuffer_;
  };
  while (audioConverter_) {
    std::optional<platform::AVAudioConverter::Error> error;
    const auto status = audioConverter_->convert(*outputBuffer_, &error, inputBlock);
    if (status != platform::AVAudioConverterOutputStatus::haveData) {
      if (error && delegate_) delegate_->track(*this, *error);
      return;
    }
    if (delegate_) {
      muted(outputBuffer_, settings_.isMuted);
      delegate_->track(*this, outputBuffer_, audioTime_->at());
    }
    audioTime_->advanced(outputBuffer_->frameLength());
  }
}

}  // namespace fluvio
