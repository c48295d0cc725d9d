#pragma once

#include <memory>
#include <string>

#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AudioOutputDevice.hpp"
#include "Platform/AVFAudio/AudioRenderThread.hpp"

typedef struct _snd_pcm snd_pcm_t;

namespace platform {

// A sound card reached through an ALSA PCM: interleaved 16-bit stereo at
// 48 kHz (the library's plug layer converts for the hardware), written from a
// render thread one period at a time.
class ALSAAudioDevice final : public AudioOutputDevice {
 public:
  // Nothing when the PCM cannot be opened or configured.
  static std::shared_ptr<ALSAAudioDevice> make(const std::string& pcmName = "default");
  ~ALSAAudioDevice() override;

  const std::shared_ptr<AVAudioFormat>& format() const noexcept override { return format_; }
  bool start(RenderBlock render) override;
  void stop() override;

 private:
  ALSAAudioDevice(snd_pcm_t* pcm, std::shared_ptr<AVAudioFormat> format, std::shared_ptr<AVAudioPCMBuffer> period);

  // Renders one period and writes it; false when the PCM fails for good.
  bool writePeriod(const RenderBlock& render);

  snd_pcm_t* pcm_;
  std::shared_ptr<AVAudioFormat> format_;
  std::shared_ptr<AVAudioPCMBuffer> period_;
  AudioRenderThread thread_;
};

}  // namespace platform
