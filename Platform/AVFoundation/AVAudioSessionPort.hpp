#pragma once

namespace platform {

// Kinds of audio output port a route can lead to.
enum class AVAudioSessionPort {
  builtInReceiver,
  builtInSpeaker,
  headphones,
  lineOut,
  bluetoothA2DP,
  bluetoothHFP,
  bluetoothLE,
  usbAudio,
  HDMI,
  airPlay,
  carAudio,
};

}  // namespace platform
