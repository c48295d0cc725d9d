#include "Platform/AVFAudio/ALSAAudioDevice.hpp"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

namespace {

constexpr unsigned kSampleRate = 48000;
constexpr unsigned kChannels = 2;
// About 100 ms of device buffer, split by the library into periods.
constexpr unsigned kLatencyMicroseconds = 100'000;
constexpr snd_pcm_uframes_t kMinimumPeriodFrames = 64;
constexpr snd_pcm_uframes_t kMaximumPeriodFrames = 16384;

struct PCMCloser {
  void operator()(snd_pcm_t* pcm) const noexcept { snd_pcm_close(pcm); }
};

}  // namespace

std::shared_ptr<ALSAAudioDevice> ALSAAudioDevice::make(const std::string& pcmName) {
  snd_pcm_t* opened = nullptr;
  // Non-blocking open: a busy card fails at once instead of stalling the caller.
  if (snd_pcm_open(&opened, pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return nullptr;
  std::unique_ptr<snd_pcm_t, PCMCloser> pcm(opened);
  if (snd_pcm_nonblock(pcm.get(), 0) < 0 ||
      snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, kChannels, kSampleRate, 1,
                         kLatencyMicroseconds) < 0) {
    return nullptr;
  }
  snd_pcm_uframes_t bufferFrames = 0;
  snd_pcm_uframes_t periodFrames = 0;
  if (snd_pcm_get_params(pcm.get(), &bufferFrames, &periodFrames) < 0) return nullptr;
  periodFrames = std::clamp(periodFrames, kMinimumPeriodFrames, kMaximumPeriodFrames);
  auto format = AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, kSampleRate, kChannels, true);
  auto period = AVAudioPCMBuffer::make(format, static_cast<AVAudioFrameCount>(periodFrames));
  if (!period) return nullptr;
  period->setFrameLength(period->frameCapacity());
  return std::shared_ptr<ALSAAudioDevice>(new ALSAAudioDevice(pcm.release(), std::move(format), std::move(period)));
}

ALSAAudioDevice::ALSAAudioDevice(snd_pcm_t* pcm, std::shared_ptr<AVAudioFormat> format,
                                 std::shared_ptr<AVAudioPCMBuffer> period)
    : pcm_(pcm), format_(std::move(format)), period_(std::move(period)) {}

ALSAAudioDevice::~ALSAAudioDevice() {
  stop();
  snd_pcm_close(pcm_);
}

bool ALSAAudioDevice::start(RenderBlock render) {
  if (thread_.isRunning()) return true;
  if (snd_pcm_prepare(pcm_) < 0) return false;
  thread_.start([this, render = std::move(render)] { return writePeriod(render); });
  return true;
}

void ALSAAudioDevice::stop() {
  thread_.stop();
  if (!thread_.isRunning()) snd_pcm_drop(pcm_);
}

bool ALSAAudioDevice::writePeriod(const RenderBlock& render) {
  render(*period_, HostClock::now());
  const auto* samples = static_cast<const std::int16_t*>(period_->audioBufferList()->mBuffers[0].mData);
  snd_pcm_uframes_t remaining = period_->frameLength();
  while (remaining > 0) {
    const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, samples, remaining);
    if (written < 0) {
      // An underrun or a suspend: recover and write the rest of the period.
      if (snd_pcm_recover(pcm_, static_cast<int>(written), 1) < 0) return false;
      continue;
    }
    samples += written * kChannels;
    remaining -= static_cast<snd_pcm_uframes_t>(written);
  }
  return true;
}

}  // namespace platform
