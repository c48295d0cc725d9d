#include "Fluvio/Sources/Mixer/AudioMixerSettings.hpp"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "Fluvio/Sources/ISO/AudioFormatExtension.hpp"

namespace fluvio {

const AudioMixerSettings AudioMixerSettings::defaultSettings{};

std::shared_ptr<platform::AVAudioFormat> AudioMixerSettings::makeOutputFormat(
    const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) const {
  const auto input = makeAudioFormat(formatDescription);
  if (!input || input->streamDescription().mFormatID != platform::kAudioFormatLinearPCM) return nullptr;
  const double rate = std::min(sampleRate == 0 ? input->sampleRate() : sampleRate, maximumSampleRate);
  const std::uint32_t channelCount = channels != 0 ? channels : std::min(maximumNumberOfChannels, input->channelCount());
  if (auto layout = makeChannelLayout(channelCount)) {
    return platform::AVAudioFormat::make(platform::AVAudioCommonFormat::pcmFormatInt16, rate, input->isInterleaved(),
                                         std::move(layout));
  }
  return platform::AVAudioFormat::make(platform::AVAudioCommonFormat::pcmFormatInt16, rate,
                                       std::min<std::uint32_t>(channelCount, 2), input->isInterleaved());
}

void to_json(nlohmann::ordered_json& json, const AudioMixerSettings& settings) {
  auto tracks = nlohmann::ordered_json::array();
  for (const auto& [id, track] : settings.tracks) {
    tracks.push_back(id);
    tracks.push_back(track);
  }
  json = nlohmann::ordered_json{{"sampleRate", settings.sampleRate}, {"channels", settings.channels},
                        {"isMuted", settings.isMuted},       {"mainTrack", settings.mainTrack},
                        {"tracks", std::move(tracks)},       {"maximumNumberOfChannels", settings.maximumNumberOfChannels}};
}

void from_json(const nlohmann::ordered_json& json, AudioMixerSettings& settings) {
  AudioMixerSettings decoded;
  json.at("sampleRate").get_to(decoded.sampleRate);
  json.at("channels").get_to(decoded.channels);
  json.at("isMuted").get_to(decoded.isMuted);
  json.at("mainTrack").get_to(decoded.mainTrack);
  json.at("maximumNumberOfChannels").get_to(decoded.maximumNumberOfChannels);
  const auto& tracks = json.at("tracks");
  if (!tracks.is_array() || tracks.size() % 2 != 0) {
    throw nlohmann::ordered_json::type_error::create(302, "tracks must list ids and settings in turn", &tracks);
  }
  for (std::size_t index = 0; index < tracks.size(); index += 2) {
    const auto id = tracks[index].get<std::int64_t>();
    if (id < 0 || id > 255) throw nlohmann::ordered_json::out_of_range::create(406, "track id out of range", &tracks[index]);
    decoded.tracks[static_cast<std::uint8_t>(id)] = tracks[index + 1].get<AudioMixerTrackSettings>();
  }
  settings = std::move(decoded);
}

}  // namespace fluvio
