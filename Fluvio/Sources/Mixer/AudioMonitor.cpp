#include "Fluvio/Sources/Mixer/AudioMonitor.hpp"

#include "Platform/AudioToolbox/PCMSamples.hpp"

namespace fluvio {

namespace {

constexpr std::uint32_t kRingBufferCounts = 16;

}  // namespace

AudioMonitor::~AudioMonitor() { stopRunning(); }

std::shared_ptr<platform::AVAudioFormat> AudioMonitor::inputFormat() const {
  std::lock_guard lock(mutex_);
  return inputFormat_;
}

void AudioMonitor::setInputFormat(std::shared_ptr<platform::AVAudioFormat> format) {
  {
    std::lock_guard lock(mutex_);
    if (inputFormat_ == format || (inputFormat_ && format && *inputFormat_ == *format)) return;
    inputFormat_ = format;
    ringBuffer_ = format ? AudioRingBuffer::make(format, kRingBufferCounts) : nullptr;
  }
  if (isRunning_) setAudioUnit(makeAudioUnit());
}

void AudioMonitor::startRunning() {
  if (isRunning_) return;
  setAudioUnit(makeAudioUnit());
  isRunning_ = true;
}

void AudioMonitor::stopRunning() {
  if (!isRunning_) return;
  setAudioUnit(nullptr);
  isRunning_ = false;
}

void AudioMonitor::append(const platform::AVAudioPCMBuffer& buffer, const platform::AVAudioTime& when) {
  if (!isRunning_) return;
  std::lock_guard lock(mutex_);
  if (ringBuffer_) ringBuffer_->append(buffer, when);
}

platform::AudioUnit AudioMonitor::makeAudioUnit() {
  const auto format = inputFormat();
  if (!format) return nullptr;
  const platform::AudioComponentDescription description{platform::kAudioUnitType_Output,
                                                        platform::kAudioUnitSubType_RemoteIO,
                                                        platform::kAudioUnitManufacturer_Apple, 0, 0};
  const auto component = platform::AudioComponentFindNext(nullptr, &description);
  platform::AudioUnit unit = nullptr;
  if (component == nullptr || platform::AudioComponentInstanceNew(component, &unit) != platform::noErr) return nullptr;
  const platform::AURenderCallbackStruct callback{&AudioMonitor::render, this};
  const auto& stream = format->streamDescription();
  platform::AudioUnitSetProperty(unit, platform::kAudioUnitProperty_SetRenderCallback, platform::kAudioUnitScope_Input,
                                 0, &callback, sizeof callback);
  platform::AudioUnitSetProperty(unit, platform::kAudioUnitProperty_StreamFormat, platform::kAudioUnitScope_Input, 0,
                                 &stream, sizeof stream);
  // Initialised once its format is known, so the unit renders in that format.
  platform::AudioUnitInitialize(unit);
  return unit;
}

void AudioMonitor::setAudioUnit(platform::AudioUnit audioUnit) {
  if (audioUnit_) {
    platform::AudioOutputUnitStop(audioUnit_);
    platform::AudioUnitUninitialize(audioUnit_);
    platform::AudioComponentInstanceDispose(audioUnit_);
  }
  audioUnit_ = audioUnit;
  if (audioUnit_) platform::AudioOutputUnitStart(audioUnit_);
}

platform::OSStatus AudioMonitor::render(void* refCon, platform::AudioUnitRenderActionFlags*,
                                        const platform::AudioTimeStamp*, std::uint32_t, std::uint32_t frames,
                                        platform::AudioBufferList* data) {
  auto* monitor = static_cast<AudioMonitor*>(refCon);
  std::lock_guard lock(monitor->mutex_);
  // Missing frames play as silence, never as what the buffers held before.
  if (!monitor->ringBuffer_ || monitor->ringBuffer_->counts() == 0) {
    platform::silence(*data);
  } else {
    monitor->ringBuffer_->render(frames, data);
  }
  return platform::noErr;
}

}  // namespace fluvio
