#pragma once

#include <string>

namespace fluvio {

// How loud a played stream is and where it sits between the speakers.
struct SoundTransform {
  static constexpr float defaultVolume = 1.0f;
  static constexpr float defaultPan = 0.0f;

  float volume = defaultVolume;
  float pan = defaultPan;

  // "SoundTransform{volume: 1.0,pan: 0.0}".
  std::string debugDescription() const;

  friend bool operator==(const SoundTransform&, const SoundTransform&) = default;
};

}  // namespace fluvio
