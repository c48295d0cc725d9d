#include "Fluvio/Sources/Mixer/VideoMixerSettings.hpp"

#include <nlohmann/json.hpp>
#include <string>

namespace fluvio {

const VideoMixerSettings VideoMixerSettings::defaultSettings{};

std::string_view rawValue(VideoMixerSettings::Mode mode) noexcept {
  return mode == VideoMixerSettings::Mode::offscreen ? "offscreen" : "passthrough";
}

std::optional<VideoMixerSettings::Mode> videoMixerModeFromRawValue(std::string_view rawValue) noexcept {
  if (rawValue == "passthrough") return VideoMixerSettings::Mode::passthrough;
  if (rawValue == "offscreen") return VideoMixerSettings::Mode::offscreen;
  return std::nullopt;
}

void to_json(nlohmann::json& json, const VideoMixerSettings& settings) {
  json = nlohmann::json{
      {"mode", std::string(rawValue(settings.mode))}, {"isMuted", settings.isMuted}, {"mainTrack", settings.mainTrack}};
}

void from_json(const nlohmann::json& json, VideoMixerSettings& settings) {
  const auto& mode = json.at("mode");
  const auto decoded = videoMixerModeFromRawValue(mode.get<std::string>());
  if (!decoded) throw nlohmann::json::type_error::create(302, "unknown video mixer mode", &mode);
  const auto mainTrack = json.at("mainTrack").get<std::int64_t>();
  if (mainTrack < 0 || mainTrack > 255) {
    throw nlohmann::json::out_of_range::create(406, "main track out of range", &json.at("mainTrack"));
  }
  settings = VideoMixerSettings{*decoded, json.at("isMuted").get<bool>(), static_cast<std::uint8_t>(mainTrack)};
}

}  // namespace fluvio
