#include "Platform/AVFoundation/AVOutputSettings.hpp"

#include <cmath>
#include <limits>

namespace platform {
namespace {

constexpr std::int64_t maximumSampleRate = 384'000;
constexpr std::int64_t maximumChannels = 8;
constexpr std::int64_t maximumSide = 16'384;

const AVOutputSettingsValue* find(const AVOutputSettings& settings, const std::string& key) {
  const auto entry = settings.find(key);
  return entry == settings.end() ? nullptr : &entry->second;
}

// A number with a whole value in [minimum, maximum]; a double must be exact.
std::optional<std::int64_t> wholeNumber(const AVOutputSettingsValue& value, std::int64_t minimum,
                                        std::int64_t maximum) {
  std::optional<std::int64_t> whole;
  if (const auto* integer = std::get_if<std::int64_t>(&value.storage())) whole = *integer;
  if (const auto* real = std::get_if<double>(&value.storage())) {
    if (std::isfinite(*real) && std::trunc(*real) == *real && std::abs(*real) < 9.0e15) {
      whole = static_cast<std::int64_t>(*real);
    }
  }
  if (!whole || *whole < minimum || *whole > maximum) return std::nullopt;
  return whole;
}

// Absent is fine; present must be a whole number in range. False when it is not.
template <class T>
bool readOptional(const AVOutputSettings& settings, const std::string& key, std::int64_t minimum, std::int64_t maximum,
                  std::optional<T>& out) {
  const auto* value = find(settings, key);
  if (!value) return true;
  const auto whole = wholeNumber(*value, minimum, maximum);
  if (!whole) return false;
  out = static_cast<T>(*whole);
  return true;
}

}  // namespace

std::optional<AudioFormatID> audioFormatID(const AVOutputSettings& settings) {
  const auto* format = find(settings, AVFormatIDKey);
  const auto identifier = format ? wholeNumber(*format, 0, std::numeric_limits<std::uint32_t>::max()) : std::nullopt;
  if (!identifier) return std::nullopt;
  return static_cast<AudioFormatID>(*identifier);
}

std::optional<CMVideoCodecType> videoCodecType(const AVOutputSettings& settings) {
  const auto* codec = find(settings, AVVideoCodecKey);
  const auto* name = codec ? codec->string() : nullptr;
  if (!name) return std::nullopt;
  if (*name == AVVideoCodecTypeH264) return kCMVideoCodecType_H264;
  if (*name == AVVideoCodecTypeHEVC) return kCMVideoCodecType_HEVC;
  return std::nullopt;
}

std::optional<AVAudioOutputSettings> AVAudioOutputSettings::read(const AVOutputSettings& settings) {
  if (audioFormatID(settings) != kAudioFormatMPEG4AAC) return std::nullopt;
  AVAudioOutputSettings audio;
  if (!readOptional(settings, AVSampleRateKey, 1, maximumSampleRate, audio.sampleRate) ||
      !readOptional(settings, AVNumberOfChannelsKey, 1, maximumChannels, audio.channels) ||
      !readOptional(settings, AVEncoderBitRateKey, 1, std::numeric_limits<std::int32_t>::max(), audio.bitRate)) {
    return std::nullopt;
  }
  return audio;
}

std::optional<AVVideoOutputSettings> AVVideoOutputSettings::read(const AVOutputSettings& settings) {
  const auto* width = find(settings, AVVideoWidthKey);
  const auto* height = find(settings, AVVideoHeightKey);
  if (!width || !height) return std::nullopt;
  const auto codecType = videoCodecType(settings);
  const auto wholeWidth = wholeNumber(*width, 1, maximumSide);
  const auto wholeHeight = wholeNumber(*height, 1, maximumSide);
  if (!codecType || !wholeWidth || !wholeHeight) return std::nullopt;

  AVVideoOutputSettings video{*codecType, static_cast<std::int32_t>(*wholeWidth),
                              static_cast<std::int32_t>(*wholeHeight), std::nullopt};
  if (const auto* properties = find(settings, AVVideoCompressionPropertiesKey)) {
    const auto* dictionary = properties->dictionary();
    if (!dictionary || !readOptional(*dictionary, AVVideoAverageBitRateKey, 1, std::numeric_limits<std::int32_t>::max(),
                                     video.averageBitRate)) {
      return std::nullopt;
    }
  }
  return video;
}

}  // namespace platform
