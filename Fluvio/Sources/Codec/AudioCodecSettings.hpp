#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Platform/AVFAudio/AVAudioConverter.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"

namespace fluvio {

// What the audio converter makes of its input: bit rate, downmix, channel map,
// output rate and output format.
class AudioCodecSettings {
 public:
  enum class Format { aac, opus, pcm };
  static constexpr Format allFormats[] = {Format::aac, Format::opus, Format::pcm};

  static constexpr std::int64_t defaultBitRate = 64'000;
  // The ceiling on output channels.
  static constexpr std::uint32_t maximumNumberOfChannels = 8;
  static const AudioCodecSettings defaultSettings;

  // `sampleRate` 0 keeps the input's rate.
  explicit AudioCodecSettings(std::int64_t bitRate = defaultBitRate, bool downmix = true,
                              std::optional<std::vector<std::int64_t>> channelMap = std::nullopt,
                              double sampleRate = 0, Format format = Format::aac);

  std::int64_t bitRate;
  bool downmix;
  // Output channel i takes input channel channelMap[i]; its length is the
  // output channel count.
  std::optional<std::vector<std::int64_t>> channelMap;
  Format format;

  // Fixed at construction.
  double sampleRate() const noexcept { return sampleRate_; }

  // The converter's output for `inputFormat`; null when the platform rejects it.
  std::shared_ptr<platform::AVAudioFormat> makeOutputFormat(const platform::AVAudioFormat& inputFormat) const;

  // True when going from `oldValue` to these settings needs a new converter;
  // otherwise apply() brings the live one up to date.
  bool requiresNewConverter(const AudioCodecSettings& oldValue) const;

  // Carries bit rate (clamped to what the converter takes), downmix and channel
  // map into `converter`, only those that differ from `oldValue`; without an
  // old value, all of them (a fresh converter).
  void apply(platform::AVAudioConverter* converter, const std::optional<AudioCodecSettings>& oldValue) const;

  // The channel map in the converter's form, or nothing when there is none or
  // it does not fit the converter's channel counts.
  std::optional<std::vector<std::int64_t>> makeChannelMap(const platform::AVAudioConverter& converter) const;

 private:
  double sampleRate_;
};

using AudioCodecFormat = AudioCodecSettings::Format;

// The rate the format produces for an input rate and a requested rate (0: the
// input's): any rate for AAC and PCM, the nearest Opus rate for Opus (the
// lower on a tie).
double makeSampleRate(AudioCodecFormat format, double input, double output);

std::string_view rawValue(AudioCodecFormat format) noexcept;
template <class Enumeration>
std::optional<Enumeration> fromRawValue(std::string_view rawValue);
template <>
std::optional<AudioCodecFormat> fromRawValue<AudioCodecFormat>(std::string_view rawValue);

// Keys "bitRate", "downmix", "channelMap" (only when present), "sampleRate",
// "format". Decoding needs every key but "channelMap" with its own type.
void to_json(nlohmann::ordered_json& json, const AudioCodecSettings& settings);
void from_json(const nlohmann::ordered_json& json, AudioCodecSettings& settings);
void to_json(nlohmann::ordered_json& json, AudioCodecFormat format);
void from_json(const nlohmann::ordered_json& json, AudioCodecFormat& format);

}  // namespace fluvio
