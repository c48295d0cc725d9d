#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include <nlohmann/json_fwd.hpp>

#include "Fluvio/Sources/Mixer/AudioMixerTrackSettings.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace fluvio {

// How an audio mixer forms its output, and each track's settings by id.
struct AudioMixerSettings {
  static const AudioMixerSettings defaultSettings;
  static constexpr double maximumSampleRate = 48000.0;

  AudioMixerSettings() = default;
  // The bound on derived channel counts is always 2 after this.
  AudioMixerSettings(double sampleRate, std::uint32_t channels, bool isMuted, std::uint8_t mainTrack,
                     std::map<std::uint8_t, AudioMixerTrackSettings> tracks)
      : sampleRate(sampleRate), channels(channels), isMuted(isMuted), mainTrack(mainTrack), tracks(std::move(tracks)) {}

  // Output rate in hertz; 0 takes the main track's.
  double sampleRate = 0;
  // Output channels; 0 derives them from the input, at most maximumNumberOfChannels.
  std::uint32_t channels = 0;
  bool isMuted = false;
  // The track whose input sets the output format and paces the output.
  std::uint8_t mainTrack = 0;
  std::map<std::uint8_t, AudioMixerTrackSettings> tracks;
  std::uint32_t maximumNumberOfChannels = 2;

  // The mixer's 16-bit output format for the main track's input format;
  // nothing when the input is not PCM the platform can describe.
  std::shared_ptr<platform::AVAudioFormat> makeOutputFormat(
      const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) const;

  friend bool operator==(const AudioMixerSettings&, const AudioMixerSettings&) = default;
};

// Keys are written in field order. "tracks" is written as the alternating
// id/settings list that keyed containers with integer keys of this width take.
void to_json(nlohmann::ordered_json& json, const AudioMixerSettings& settings);
void from_json(const nlohmann::ordered_json& json, AudioMixerSettings& settings);

}  // namespace fluvio
