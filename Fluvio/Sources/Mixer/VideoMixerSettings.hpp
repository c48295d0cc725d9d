#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace fluvio {

// How the video mixer forms its output.
struct VideoMixerSettings {
  enum class Mode {
    // The main track's frames are the output.
    passthrough,
    // The screen composes the tracks; the mixer gives no output of its own.
    offscreen,
  };

  static const VideoMixerSettings defaultSettings;

  Mode mode = Mode::passthrough;
  bool isMuted = false;
  std::uint8_t mainTrack = 0;

  friend bool operator==(const VideoMixerSettings&, const VideoMixerSettings&) = default;
};

std::string_view rawValue(VideoMixerSettings::Mode mode) noexcept;
std::optional<VideoMixerSettings::Mode> videoMixerModeFromRawValue(std::string_view rawValue) noexcept;

void to_json(nlohmann::json& json, const VideoMixerSettings& settings);
// A mode other than "passthrough" or "offscreen" is a decoding error.
void from_json(const nlohmann::json& json, VideoMixerSettings& settings);

}  // namespace fluvio
