#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Platform/AVFAudio/AVAudioConverter.hpp"

namespace fluvio {

// How one input track of an audio mixer is taken in.
struct AudioMixerTrackSettings {
  static const AudioMixerTrackSettings defaultSettings;

  // Gain at the mixer input, applied clamped to 0...1.
  float volume = 1.0f;
  // The track's converted audio is replaced by silence.
  bool isMuted = false;
  bool downmix = true;
  // For each output channel, the input channel that feeds it (negative: silence).
  std::optional<std::vector<std::int64_t>> channelMap;

  // The map when it has one entry per output channel of the converter and
  // names only channels its input has.
  std::optional<std::vector<std::int64_t>> validChannelMap(const platform::AVAudioConverter& converter) const;
  // Carries what changed from `oldValue` onto a live converter; volume and
  // muting are the mixer's.
  void apply(const AudioMixerTrackSettings& oldValue, platform::AVAudioConverter* converter) const;

  friend bool operator==(const AudioMixerTrackSettings&, const AudioMixerTrackSettings&) = default;
};

void to_json(nlohmann::ordered_json& json, const AudioMixerTrackSettings& settings);
void from_json(const nlohmann::ordered_json& json, AudioMixerTrackSettings& settings);

}  // namespace fluvio
