#include "Fluvio/Sources/Mixer/AudioCaptureUnit.hpp"

#include "Fluvio/Sources/Extension/AVAudioPCMBufferExtension.hpp"
#include "Fluvio/Sources/Mixer/AudioMixerByMultiTrack.hpp"
#include "Fluvio/Sources/Mixer/AudioMixerBySingleTrack.hpp"

namespace fluvio {

std::shared_ptr<AudioCaptureUnit> AudioCaptureUnit::make(std::shared_ptr<CaptureSessionConvertible> session,
                                                         bool isMultiTrackAudioMixingEnabled) {
  auto unit = std::shared_ptr<AudioCaptureUnit>(new AudioCaptureUnit(std::move(session), isMultiTrackAudioMixingEnabled));
  unit->audioMixer_->setDelegate(unit);
  return unit;
}

AudioCaptureUnit::AudioCaptureUnit(std::shared_ptr<CaptureSessionConvertible> session,
                                   bool isMultiTrackAudioMixingEnabled)
    : CaptureUnit(std::move(session), "com.fluvio.Fluvio.AudioCaptureUnit.lock"),
      isMultiTrackAudioMixingEnabled_(isMultiTrackAudioMixingEnabled) {
  if (isMultiTrackAudioMixingEnabled) {
    audioMixer_ = std::make_shared<AudioMixerByMultiTrack>();
  } else {
    audioMixer_ = std::make_shared<AudioMixerBySingleTrack>();
  }
}

void AudioCaptureUnit::attachAudio(std::shared_ptr<platform::AVCaptureDevice> device, std::uint8_t track,
                                   const Configuration& configuration) {
  devices_.detach(track);
  if (!device) return;
  auto unit = std::make_shared<AudioDeviceUnit>(track, std::move(device));
  unit->setSampleBufferDelegate(sink(), lockQueue_);
  devices_.attach(std::move(unit), configuration);
}

bool AudioCaptureUnit::isMonitoringEnabled() const {
  std::lock_guard lock(mutex_);
  return isMonitoringEnabled_;
}

void AudioCaptureUnit::setMonitoringEnabled(bool enabled) {
  {
    std::lock_guard lock(mutex_);
    isMonitoringEnabled_ = enabled;
  }
  onQueue([enabled](AudioCaptureUnit& self) {
    if (enabled) {
      // The monitor knows the format before it plays, when the mixer knows it.
      self.monitor_.setInputFormat(self.audioMixer_->outputFormat());
      self.monitor_.startRunning();
    } else {
      self.monitor_.stopRunning();
    }
  });
}

AudioMixerSettings AudioCaptureUnit::settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

void AudioCaptureUnit::setSettings(AudioMixerSettings settings) {
  {
    std::lock_guard lock(mutex_);
    settings_ = settings;
  }
  onQueue([settings = std::move(settings)](AudioCaptureUnit& self) mutable {
    self.audioMixer_->setSettings(std::move(settings));
    self.snapshot();
  });
}

AudioMixer::InputFormats AudioCaptureUnit::inputFormats() const {
  std::lock_guard lock(mutex_);
  return inputFormats_;
}

void AudioCaptureUnit::appendOnQueue(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) {
  audioMixer_->append(sampleBuffer, track);
  snapshot();
}

void AudioCaptureUnit::append(std::shared_ptr<platform::AVAudioPCMBuffer> buffer,
                              std::shared_ptr<platform::AVAudioTime> when, std::uint8_t track) {
  if (!buffer) return;
  onQueue([buffer = std::move(buffer), when = std::move(when), track](AudioCaptureUnit& self) {
    self.audioMixer_->append(*buffer, when, track);
    self.snapshot();
  });
}

void AudioCaptureUnit::snapshot() {
  auto formats = audioMixer_->inputFormats();
  std::lock_guard lock(mutex_);
  inputFormats_ = std::move(formats);
}

void AudioCaptureUnit::setContinuation(std::optional<platform::AsyncStream<Element>::Continuation> continuation) {
  std::lock_guard lock(mutex_);
  if (continuation_) continuation_->finish();
  continuation_ = std::move(continuation);
}

void AudioCaptureUnit::finishContinuation() { setContinuation(std::nullopt); }

void AudioCaptureUnit::audioMixer(AudioMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
                                  const std::shared_ptr<platform::AVAudioTime>& when) {
  // The mixer reuses its block: outputs get a copy of their own.
  if (auto copied = platform::AVAudioPCMBuffer::make(buffer->format(), buffer->frameCapacity())) {
    copied->setFrameLength(buffer->frameLength());
    if (copy(*copied, *buffer)) {
      std::lock_guard lock(mutex_);
      if (continuation_) continuation_->yield({std::move(copied), when});
    }
  }
  if (monitor_.isRunning()) {
    monitor_.setInputFormat(buffer->format());
    monitor_.append(*buffer, *when);
  }
}

}  // namespace fluvio
