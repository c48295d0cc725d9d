#include "Fluvio/Sources/Stream/StreamRecorderSettings.hpp"

#include <cstdint>
#include <string>

namespace fluvio {
namespace {

using platform::AVOutputSettings;
using platform::AVOutputSettingsValue;

bool isZero(const AVOutputSettingsValue& value) {
  if (const auto* integer = std::get_if<std::int64_t>(&value.storage())) return *integer == 0;
  if (const auto* real = std::get_if<double>(&value.storage())) return *real == 0;
  return false;
}

void replaceZero(AVOutputSettings& settings, const std::string& key, AVOutputSettingsValue value) {
  const auto entry = settings.find(key);
  if (entry != settings.end() && isZero(entry->second)) entry->second = std::move(value);
}

}  // namespace

const StreamRecorderSettings& defaultStreamRecorderSettings() {
  static const StreamRecorderSettings settings{
      {platform::AVMediaTypeAudio,
       {{platform::AVFormatIDKey, std::int64_t{platform::kAudioFormatMPEG4AAC}},
        {platform::AVSampleRateKey, std::int64_t{0}},
        {platform::AVNumberOfChannelsKey, std::int64_t{0}}}},
      {platform::AVMediaTypeVideo,
       {{platform::AVVideoCodecKey, platform::AVVideoCodecTypeH264},
        {platform::AVVideoHeightKey, std::int64_t{0}},
        {platform::AVVideoWidthKey, std::int64_t{0}}}},
  };
  return settings;
}

AVOutputSettings makeOutputSettings(const StreamRecorderSettings& settings, platform::AVMediaType mediaType,
                                    const platform::CMFormatDescription* sourceFormatHint) {
  const auto entry = settings.find(mediaType);
  AVOutputSettings output = entry == settings.end() ? AVOutputSettings{} : entry->second;
  if (mediaType == platform::AVMediaTypeAudio) {
    const auto* stream = sourceFormatHint ? sourceFormatHint->audioStreamBasicDescription() : nullptr;
    if (!stream) return {};
    replaceZero(output, platform::AVSampleRateKey, stream->mSampleRate);
    replaceZero(output, platform::AVNumberOfChannelsKey, std::int64_t{stream->mChannelsPerFrame});
    return output;
  }
  if (mediaType == platform::AVMediaTypeVideo) {
    const auto dimensions = sourceFormatHint ? sourceFormatHint->dimensions() : platform::CMVideoDimensions{};
    replaceZero(output, platform::AVVideoWidthKey, std::int64_t{dimensions.width});
    replaceZero(output, platform::AVVideoHeightKey, std::int64_t{dimensions.height});
    return output;
  }
  return {};
}

}  // namespace fluvio
