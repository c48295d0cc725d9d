#include "Fluvio/Sources/Mixer/AudioMixerTrackSettings.hpp"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "Fluvio/Sources/Codec/ChannelMap.hpp"

namespace fluvio {

const AudioMixerTrackSettings AudioMixerTrackSettings::defaultSettings{};

std::optional<std::vector<std::int64_t>> AudioMixerTrackSettings::validChannelMap(
    const platform::AVAudioConverter& converter) const {
  return fluvio::validChannelMap(channelMap, converter);
}

void AudioMixerTrackSettings::apply(const AudioMixerTrackSettings& oldValue,
                                    platform::AVAudioConverter* converter) const {
  if (converter == nullptr) return;
  if (oldValue.downmix != downmix) converter->setDownmix(downmix);
  if (!channelMap || oldValue.channelMap == channelMap) return;
  if (auto map = validChannelMap(*converter)) converter->setChannelMap(std::move(*map));
}

void to_json(nlohmann::ordered_json& json, const AudioMixerTrackSettings& settings) {
  json = nlohmann::ordered_json{{"volume", settings.volume}, {"isMuted", settings.isMuted}, {"downmix", settings.downmix}};
  if (settings.channelMap) json["channelMap"] = *settings.channelMap;
}

void from_json(const nlohmann::ordered_json& json, AudioMixerTrackSettings& settings) {
  AudioMixerTrackSettings decoded;
  json.at("volume").get_to(decoded.volume);
  json.at("isMuted").get_to(decoded.isMuted);
  json.at("downmix").get_to(decoded.downmix);
  if (auto it = json.find("channelMap"); it != json.end()) decoded.channelMap = it->get<std::vector<std::int64_t>>();
  settings = std::move(decoded);
}

}  // namespace fluvio
