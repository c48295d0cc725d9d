#include "Platform/ReplayKit/Service/SyntheticAudio.hpp"

#include <chrono>
#include <vector>

#include "Platform/CoreMedia/HostClock.hpp"
#include "Platform/ReplayKit/Service/SyntheticSignal.hpp"

namespace platform::broadcastservice {
namespace {

std::uint64_t frameTime(std::uint64_t start, std::uint64_t frame) {
  return start + frame / audioSampleRate * HostClock::ticksPerSecond +
         frame % audioSampleRate * HostClock::ticksPerSecond / audioSampleRate;
}

}  // namespace

SyntheticAudio::SyntheticAudio(RPSampleBufferType type, std::uint64_t startHostTime, AudioSink sink)
    : type_(type), start_(startHostTime), sink_(std::move(sink)), thread_([this] { run(); }) {}

SyntheticAudio::~SyntheticAudio() {
  {
    const std::lock_guard lock(mutex_);
    stopAt_ = HostClock::now();
  }
  wake_.notify_all();
  thread_.join();
}

void SyntheticAudio::run() {
  const bool isApp = type_ == RPSampleBufferType::audioApp;
  const int channels = isApp ? 2 : 1;
  const auto format = makeAudioFormat(channels);
  std::vector<std::int16_t> samples(std::size_t{audioFramesPerBuffer} * channels);
  std::unique_lock lock(mutex_);
  for (std::uint64_t first = 0;; first += audioFramesPerBuffer) {
    const std::uint64_t due = frameTime(start_, first + audioFramesPerBuffer);
    // A buffer that fell due before the stop is still handed over, even when
    // a slow handler kept this thread from it until now.
    const auto stoppedBeforeDue = [&] { return stopAt_ < due; };
    if (wake_.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(due)), stoppedBeforeDue)) {
      return;
    }
    for (int frame = 0; frame < audioFramesPerBuffer; ++frame) {
      const std::uint64_t index = first + frame;
      const auto value = isApp ? SyntheticSignal::appSample(index) : SyntheticSignal::microphoneSample(index);
      for (int channel = 0; channel < channels; ++channel) samples[std::size_t(frame) * channels + channel] = value;
    }
    if (auto buffer = makeAudioSampleBuffer(format, samples, frameTime(start_, first))) {
      lock.unlock();
      sink_(*buffer, type_);
      lock.lock();
    }
  }
}

}  // namespace platform::broadcastservice
