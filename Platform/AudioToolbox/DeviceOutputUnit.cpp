#include "Platform/AudioToolbox/DeviceOutputUnit.hpp"

#include <algorithm>

#include "Platform/AVFAudio/ALSAAudioDevice.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/AudioToolbox/PCMSamples.hpp"

namespace platform {

namespace {

constexpr AVAudioFrameCount kPeriodFrames = 1024;

std::mutex& factoryMutex() {
  static std::mutex mutex;
  return mutex;
}

DeviceOutputUnit::DeviceFactory& factory() {
  static DeviceOutputUnit::DeviceFactory factory;
  return factory;
}

std::shared_ptr<AudioOutputDevice> makeDefaultDevice() {
  if (auto alsa = ALSAAudioDevice::make("default")) return alsa;
  return NullAudioDevice::make(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, 48000, 2, true), kPeriodFrames,
                               NullAudioDevice::Clock::realTime);
}

}  // namespace

void DeviceOutputUnit::setDeviceFactory(DeviceFactory deviceFactory) {
  std::lock_guard lock(factoryMutex());
  factory() = std::move(deviceFactory);
}

DeviceOutputUnit::~DeviceOutputUnit() { stop(); }

OSStatus DeviceOutputUnit::start() {
  if (!isInitialized()) return kAudioUnitErr_Uninitialized;
  if (device_) return noErr;
  const auto& inputFormat = buses(kAudioUnitScope_Input)[0].format;
  if (!inputFormat) return kAudioUnitErr_FormatNotSupported;
  auto format = AVAudioFormat::make(*inputFormat);
  std::shared_ptr<AudioOutputDevice> device;
  {
    std::lock_guard lock(factoryMutex());
    device = factory() ? factory()() : makeDefaultDevice();
  }
  if (!format || !device) return kAudioUnitErr_FormatNotSupported;
  converter_ = AVAudioConverter::make(format, device->format());
  input_ = AVAudioPCMBuffer::make(format, maximumFramesPerSlice());
  if (!converter_ || !input_) return kAudioUnitErr_FormatNotSupported;
  timeStamp_ = AudioTimeStamp{0, 0, kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid};
  if (!device->start([this](AVAudioPCMBuffer& period, std::uint64_t hostTime) { renderPeriod(period, hostTime); })) {
    return kAudioUnitErr_CannotDoInCurrentContext;
  }
  device_ = std::move(device);
  return noErr;
}

OSStatus DeviceOutputUnit::stop() {
  if (device_) device_->stop();
  device_.reset();
  return noErr;
}

void DeviceOutputUnit::renderPeriod(AVAudioPCMBuffer& period, std::uint64_t hostTime) {
  timeStamp_.mHostTime = hostTime;
  std::optional<AVAudioConverter::Error> error;
  const auto status = converter_->convert(
      period, &error, [this](AVAudioPacketCount frames, AVAudioConverterInputStatus& inputStatus) {
        const auto count = std::min<AVAudioFrameCount>(frames, input_->frameCapacity());
        input_->setFrameLength(count);
        AudioUnitRenderActionFlags flags = 0;
        if (pullInput(&flags, &timeStamp_, 0, count, input_->mutableAudioBufferList()) != noErr) {
          silence(*input_->mutableAudioBufferList());
        }
        timeStamp_.mSampleTime += count;
        inputStatus = AVAudioConverterInputStatus::haveData;
        return input_;
      });
  if (status != AVAudioConverterOutputStatus::haveData) silence(*period.mutableAudioBufferList());
}

}  // namespace platform
