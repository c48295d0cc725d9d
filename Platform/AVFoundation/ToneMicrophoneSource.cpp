#include "Platform/AVFoundation/ToneMicrophoneSource.hpp"

#include <chrono>
#include <cmath>
#include <span>
#include <vector>

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

std::shared_ptr<AVCaptureDevice> ToneMicrophoneSource::makeDevice() {
  AVCaptureDevice::Description description{"synthetic-microphone", "Tone Microphone", AVCaptureDeviceType::microphone,
                                           AVCaptureDevicePosition::unspecified, AVMediaTypeAudio, false};
  return AVCaptureDevice::make(std::move(description), {}, std::make_shared<ToneMicrophoneSource>());
}

bool ToneMicrophoneSource::start(const AVCaptureDevice&, Deliver deliver, Failure) {
  if (thread_.isRunning()) return true;
  AudioStreamBasicDescription stream{sampleRate,
                                     kAudioFormatLinearPCM,
                                     kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked,
                                     4,
                                     1,
                                     4,
                                     2,
                                     16,
                                     0};
  auto description = CMFormatDescription::makeAudio(stream);
  if (!description) return false;
  struct State {
    std::shared_ptr<const CMFormatDescription> description;
    std::uint64_t startHost = HostClock::now();
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::int64_t frames = 0;
    std::vector<std::int16_t> samples = std::vector<std::int16_t>(framesPerBuffer * 2);
  };
  auto state = std::make_shared<State>();
  state->description = description.value;
  thread_.start([this, deliver = std::move(deliver), state] {
    for (std::uint32_t frame = 0; frame < framesPerBuffer; ++frame) {
      const double t = double(state->frames + frame) / sampleRate;
      const auto value = static_cast<std::int16_t>(std::lround(8192 * std::sin(2 * M_PI * frequency * t)));
      state->samples[2 * frame] = value;
      state->samples[2 * frame + 1] = value;
    }
    const auto host = state->startHost + std::uint64_t(double(state->frames) / sampleRate * 1e9);
    auto sample = CMSampleBuffer::makeAudio(state->description, framesPerBuffer,
                                            CMTime::make(static_cast<std::int64_t>(host), 1'000'000'000));
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(state->samples.data()),
                                              state->samples.size() * sizeof(std::int16_t));
    const std::span<const std::uint8_t> buffers[] = {bytes};
    if (sample && sample.value->setDataBufferFromAudioBuffers(buffers) == noErr) deliver(*sample.value);
    state->frames += framesPerBuffer;
    return thread_.sleepUntil(state->start +
                              std::chrono::nanoseconds(static_cast<std::int64_t>(state->frames / sampleRate * 1e9)));
  });
  return true;
}

}  // namespace platform
