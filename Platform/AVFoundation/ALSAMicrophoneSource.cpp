#include "Platform/AVFoundation/ALSAMicrophoneSource.hpp"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <span>
#include <vector>

#include "Platform/AVFoundation/ALSASampleFormat.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

namespace {

struct PCMCloser {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PCM = std::unique_ptr<snd_pcm_t, PCMCloser>;

PCM openCapture(const std::string& name) {
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, 0) < 0) return nullptr;
  return PCM(pcm);
}

// Configures the PCM and returns the description of what it delivers.
std::optional<AudioStreamBasicDescription> configure(snd_pcm_t* pcm) {
  snd_pcm_hw_params_t* hardware = nullptr;
  snd_pcm_hw_params_alloca(&hardware);
  if (snd_pcm_hw_params_any(pcm, hardware) < 0) return std::nullopt;
  for (const auto format : {SND_PCM_FORMAT_S16_LE, SND_PCM_FORMAT_S32_LE, SND_PCM_FORMAT_FLOAT_LE}) {
    if (snd_pcm_hw_params_test_format(pcm, hardware, format) < 0) continue;
    const unsigned channels = snd_pcm_hw_params_test_channels(pcm, hardware, 2) == 0 ? 2 : 1;
    // 100 ms of latency: periods of 10 ms.
    if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, channels, ALSAMicrophoneSource::sampleRate, 1,
                           100'000) < 0) {
      return std::nullopt;
    }
    return makeStreamDescription(format, channels, ALSAMicrophoneSource::sampleRate);
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::shared_ptr<AVCaptureDevice>> ALSAMicrophoneSource::devices() {
  std::vector<std::shared_ptr<AVCaptureDevice>> devices;
  for (int card = -1; snd_card_next(&card) == 0 && card >= 0;) {
    snd_ctl_t* control = nullptr;
    if (snd_ctl_open(&control, ("hw:" + std::to_string(card)).c_str(), 0) < 0) continue;
    char* cardName = nullptr;
    snd_card_get_name(card, &cardName);
    const std::string name = cardName ? cardName : "Sound card " + std::to_string(card);
    free(cardName);
    for (int device = -1; snd_ctl_pcm_next_device(control, &device) == 0 && device >= 0;) {
      snd_pcm_info_t* info = nullptr;
      snd_pcm_info_alloca(&info);
      snd_pcm_info_set_device(info, unsigned(device));
      snd_pcm_info_set_stream(info, SND_PCM_STREAM_CAPTURE);
      if (snd_ctl_pcm_info(control, info) < 0) continue;
      const auto pcmName = "plughw:" + std::to_string(card) + "," + std::to_string(device);
      if (auto made = makeDevice(pcmName, name)) devices.push_back(std::move(made));
    }
    snd_ctl_close(control);
  }
  return devices;
}

std::shared_ptr<AVCaptureDevice> ALSAMicrophoneSource::makeDevice(const std::string& pcmName,
                                                                  const std::string& localizedName) {
  auto source = std::make_shared<ALSAMicrophoneSource>(pcmName);
  if (!source->isAvailable()) return nullptr;
  AVCaptureDevice::Description description{"alsa:" + pcmName,
                                           localizedName,
                                           AVCaptureDeviceType::microphone,
                                           AVCaptureDevicePosition::unspecified,
                                           AVMediaTypeAudio,
                                           false};
  return AVCaptureDevice::make(std::move(description), {}, std::move(source));
}

bool ALSAMicrophoneSource::isAvailable() const {
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, pcmName_.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) return false;
  snd_pcm_close(pcm);
  return true;
}

bool ALSAMicrophoneSource::start(const AVCaptureDevice&, Deliver deliver, Failure failure) {
  if (thread_.isRunning()) return true;
  auto pcm = std::shared_ptr<snd_pcm_t>(openCapture(pcmName_).release(), PCMCloser());
  if (!pcm) return false;
  const auto stream = configure(pcm.get());
  if (!stream) return false;
  auto description = CMFormatDescription::makeAudio(*stream);
  if (!description) return false;
  auto samples = std::make_shared<std::vector<std::uint8_t>>(std::size_t(framesPerBuffer) * stream->mBytesPerFrame);
  thread_.start([pcm, samples, bytesPerFrame = stream->mBytesPerFrame, description = description.value, deliver = std::move(deliver),
                 failure = std::move(failure)] {
    // Bounded: a PCM that delivers nothing wakes the thread to look at stop.
    if (snd_pcm_wait(pcm.get(), 200) == 0) return true;
    const auto frames = snd_pcm_readi(pcm.get(), samples->data(), framesPerBuffer);
    if (frames < 0) {
      // An overrun only loses samples; anything else ends the microphone.
      if (frames == -EAGAIN || snd_pcm_recover(pcm.get(), int(frames), 1) == 0) return true;
      failure(AVError::deviceNotConnected);
      return false;
    }
    if (frames == 0) return true;
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm.get(), &delay) < 0) delay = 0;
    // The first frame of the buffer was captured before the frames still waiting.
    const auto age = std::uint64_t(double(frames + std::max<snd_pcm_sframes_t>(delay, 0)) / sampleRate * 1e9);
    const auto now = HostClock::now();
    const auto host = now > age ? now - age : 0;
    auto sample = CMSampleBuffer::makeAudio(description, std::uint32_t(frames),
                                            CMTime::make(static_cast<std::int64_t>(host), 1'000'000'000));
    const std::span<const std::uint8_t> bytes(samples->data(), std::size_t(frames) * bytesPerFrame);
    const std::span<const std::uint8_t> buffers[] = {bytes};
    if (sample && sample.value->setDataBufferFromAudioBuffers(buffers) == noErr) deliver(*sample.value);
    return true;
  });
  return true;
}

}  // namespace platform
