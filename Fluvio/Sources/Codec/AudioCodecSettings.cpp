#include "Fluvio/Sources/Codec/AudioCodecSettings.hpp"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <string>

#include "Fluvio/Sources/Codec/ChannelMap.hpp"
#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"

namespace fluvio {

namespace {

using platform::AudioStreamBasicDescription;

constexpr std::array<double, 5> kOpusSampleRates = {8'000, 12'000, 16'000, 24'000, 48'000};
constexpr std::uint32_t kAACFramesPerPacket = 1024;
constexpr double kOpusPacketSeconds = 0.02;

AudioStreamBasicDescription makeStreamDescription(AudioCodecFormat format, double sampleRate,
                                                  std::uint32_t channels) {
  AudioStreamBasicDescription description;
  description.mSampleRate = sampleRate;
  description.mChannelsPerFrame = channels;
  switch (format) {
    case AudioCodecFormat::aac:
      description.mFormatID = platform::kAudioFormatMPEG4AAC;
      description.mFormatFlags = static_cast<std::uint32_t>(platform::MPEG4ObjectID::aacLC);
      description.mFramesPerPacket = kAACFramesPerPacket;
      break;
    case AudioCodecFormat::opus:
      description.mFormatID = platform::kAudioFormatOpus;
      description.mFramesPerPacket = static_cast<std::uint32_t>(sampleRate * kOpusPacketSeconds);
      break;
    case AudioCodecFormat::pcm:
      description.mFormatID = platform::kAudioFormatLinearPCM;
      description.mFormatFlags = platform::kAudioFormatFlagIsFloat | platform::kAudioFormatFlagIsPacked |
                                 platform::kAudioFormatFlagIsNonInterleaved;
      description.mBytesPerPacket = sizeof(float);
      description.mFramesPerPacket = 1;
      description.mBytesPerFrame = sizeof(float);
      description.mBitsPerChannel = 32;
      break;
  }
  return description;
}

[[noreturn]] void throwTypeError(const nlohmann::ordered_json& json, const std::string& message) {
  throw nlohmann::ordered_json::type_error::create(302, message, &json);
}

const nlohmann::ordered_json& member(const nlohmann::ordered_json& json, const char* key) {
  if (!json.is_object()) throwTypeError(json, "audio codec settings must be an object");
  return json.at(key);
}

}  // namespace

const AudioCodecSettings AudioCodecSettings::defaultSettings{};

AudioCodecSettings::AudioCodecSettings(std::int64_t bitRate, bool downmix,
                                       std::optional<std::vector<std::int64_t>> channelMap, double sampleRate,
                                       Format format)
    : bitRate(bitRate), downmix(downmix), channelMap(std::move(channelMap)), format(format), sampleRate_(sampleRate) {}

double makeSampleRate(AudioCodecFormat format, double input, double output) {
  const double rate = output != 0 ? output : input;
  if (format != AudioCodecFormat::opus) return rate;
  // min_element keeps the first of equal distances, so a tie goes to the lower rate.
  return *std::min_element(kOpusSampleRates.begin(), kOpusSampleRates.end(), [rate](double lhs, double rhs) {
    return (lhs - rate) * (lhs - rate) < (rhs - rate) * (rhs - rate);
  });
}

std::shared_ptr<platform::AVAudioFormat> AudioCodecSettings::makeOutputFormat(
    const platform::AVAudioFormat& inputFormat) const {
  const auto requestedChannels =
      channelMap ? static_cast<std::uint32_t>(std::min<std::size_t>(channelMap->size(), UINT32_MAX))
                 : inputFormat.channelCount();
  const auto outputRate = makeSampleRate(format, inputFormat.sampleRate(), sampleRate_);
  const auto channels = std::min(maximumNumberOfChannels, requestedChannels);
  std::shared_ptr<platform::AVAudioChannelLayout> layout;
  if (const auto configuration = makeChannelConfiguration(requestedChannels)) {
    if (const auto tag = channelLayoutTag(*configuration)) layout = platform::AVAudioChannelLayout::make(*tag);
  }
  return platform::AVAudioFormat::make(makeStreamDescription(format, outputRate, channels), std::move(layout));
}

bool AudioCodecSettings::requiresNewConverter(const AudioCodecSettings& oldValue) const {
  return format != oldValue.format || channelMap != oldValue.channelMap || sampleRate_ != oldValue.sampleRate_;
}

void AudioCodecSettings::apply(platform::AVAudioConverter* converter,
                               const std::optional<AudioCodecSettings>& oldValue) const {
  if (!converter) return;
  if (!oldValue || oldValue->bitRate != bitRate) {
    auto low = bitRate;
    auto high = bitRate;
    if (const auto rates = converter->applicableEncodeBitRates(); rates && !rates->empty()) {
      const auto [minimum, maximum] = std::minmax_element(rates->begin(), rates->end());
      low = *minimum;
      high = *maximum;
    }
    converter->setBitRate(std::min(std::max(low, bitRate), high));
  }
  if (!oldValue || oldValue->downmix != downmix) converter->setDownmix(downmix);
  const auto& oldChannelMap = oldValue ? oldValue->channelMap : std::nullopt;
  if (oldChannelMap == channelMap) return;
  if (auto map = makeChannelMap(*converter)) converter->setChannelMap(std::move(*map));
}

std::optional<std::vector<std::int64_t>> AudioCodecSettings::makeChannelMap(
    const platform::AVAudioConverter& converter) const {
  return validChannelMap(channelMap, converter);
}

std::string_view rawValue(AudioCodecFormat format) noexcept {
  switch (format) {
    case AudioCodecFormat::aac:
      return "aac";
    case AudioCodecFormat::opus:
      return "opus";
    case AudioCodecFormat::pcm:
      return "pcm";
  }
  return {};
}

template <>
std::optional<AudioCodecFormat> fromRawValue<AudioCodecFormat>(std::string_view rawValue) {
  for (const auto format : AudioCodecSettings::allFormats) {
    if (fluvio::rawValue(format) == rawValue) return format;
  }
  return std::nullopt;
}

void to_json(nlohmann::ordered_json& json, AudioCodecFormat format) { json = std::string(rawValue(format)); }

void from_json(const nlohmann::ordered_json& json, AudioCodecFormat& format) {
  const auto parsed = fromRawValue<AudioCodecFormat>(json.get_ref<const std::string&>());
  if (!parsed) throwTypeError(json, "unknown audio format " + json.get<std::string>());
  format = *parsed;
}

void to_json(nlohmann::ordered_json& json, const AudioCodecSettings& settings) {
  json = nlohmann::ordered_json::object();
  json["bitRate"] = settings.bitRate;
  json["downmix"] = settings.downmix;
  if (settings.channelMap) json["channelMap"] = *settings.channelMap;
  json["sampleRate"] = settings.sampleRate();
  json["format"] = settings.format;
}

void from_json(const nlohmann::ordered_json& json, AudioCodecSettings& settings) {
  const auto& bitRate = member(json, "bitRate");
  if (!bitRate.is_number_integer()) throwTypeError(bitRate, "bitRate must be an integer");
  const auto& sampleRate = member(json, "sampleRate");
  if (!sampleRate.is_number()) throwTypeError(sampleRate, "sampleRate must be a number");
  std::optional<std::vector<std::int64_t>> channelMap;
  if (const auto entry = json.find("channelMap"); entry != json.end() && !entry->is_null()) {
    if (!entry->is_array()) throwTypeError(*entry, "channelMap must be a list of integers");
    channelMap.emplace();
    for (const auto& channel : *entry) {
      if (!channel.is_number_integer()) throwTypeError(channel, "channelMap must be a list of integers");
      channelMap->push_back(channel.get<std::int64_t>());
    }
  }
  settings = AudioCodecSettings(bitRate.get<std::int64_t>(), member(json, "downmix").get<bool>(),
                                std::move(channelMap), sampleRate.get<double>(),
                                member(json, "format").get<AudioCodecFormat>());
}

}  // namespace fluvio
