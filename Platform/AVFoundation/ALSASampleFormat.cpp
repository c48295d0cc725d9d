#include "Platform/AVFoundation/ALSASampleFormat.hpp"

#include <alsa/asoundlib.h>

namespace platform {

std::optional<AudioStreamBasicDescription> makeStreamDescription(int alsaFormat, unsigned channels, unsigned sampleRate) {
  if (channels == 0 || sampleRate == 0) return std::nullopt;
  AudioFormatFlags flags = kAudioFormatFlagIsPacked;
  std::uint32_t bits = 0;
  switch (alsaFormat) {
    case SND_PCM_FORMAT_S16_LE: flags |= kAudioFormatFlagIsSignedInteger; bits = 16; break;
    case SND_PCM_FORMAT_S32_LE: flags |= kAudioFormatFlagIsSignedInteger; bits = 32; break;
    case SND_PCM_FORMAT_FLOAT_LE: flags |= kAudioFormatFlagIsFloat; bits = 32; break;
    default: return std::nullopt;
  }
  const std::uint32_t bytesPerFrame = bits / 8 * channels;
  return AudioStreamBasicDescription{double(sampleRate), kAudioFormatLinearPCM, flags, bytesPerFrame, 1, bytesPerFrame,
                                     channels,           bits};
}

}  // namespace platform
