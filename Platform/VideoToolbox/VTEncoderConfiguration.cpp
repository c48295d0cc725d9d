#include "Platform/VideoToolbox/VTEncoderConfiguration.hpp"

#include <cctype>
#include <cmath>
#include <vector>

#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace platform {
namespace {

constexpr double maximumBitRate = 1e10;

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// "<codec>_<profile>_<major>_<minor>" or "<codec>_<profile>_AutoLevel".
OSStatus setProfileLevel(VTEncoderConfiguration& configuration, std::string_view text) {
  const auto parts = split(text, '_');
  if (parts.size() < 3) return kVTParameterErr;
  const bool hevc = configuration.codecType == kCMVideoCodecType_HEVC;
  if (parts[0] != (hevc ? "HEVC" : "H264")) return kVTParameterErr;
  std::string profile;
  if (hevc && parts[1] == "Main") {
    profile = "main";
  } else if (!hevc && (parts[1] == "Baseline" || parts[1] == "ConstrainedBaseline")) {
    profile = "baseline";
  } else if (!hevc && parts[1] == "Main") {
    profile = "main";
  } else if (!hevc && (parts[1] == "High" || parts[1] == "ConstrainedHigh")) {
    profile = "high";
  } else {
    return kVTParameterErr;
  }
  int level = 0;
  if (parts.size() == 3 && parts[2] == "AutoLevel") {
    level = 0;
  } else if (parts.size() == 4 && parts[2].size() == 1 && parts[3].size() == 1 && std::isdigit(static_cast<unsigned char>(parts[2][0])) &&
             std::isdigit(static_cast<unsigned char>(parts[3][0]))) {
    level = (parts[2][0] - '0') * 10 + (parts[3][0] - '0');
  } else {
    return kVTParameterErr;
  }
  configuration.profile = std::move(profile);
  configuration.level = level;
  return noErr;
}

std::optional<double> positiveNumber(const VTPropertyValue& value, double maximum) {
  const auto number = value.number();
  if (!number || !std::isfinite(*number) || *number < 0 || *number > maximum) return std::nullopt;
  return number;
}

// Pairs of (bytes, seconds); the first pair is the one enforced, an empty list lifts the limit.
OSStatus setDataRateLimits(VTEncoderConfiguration& configuration, const VTPropertyValue& value) {
  const auto* list = value.list();
  if (!list || list->size() % 2 != 0) return kVTParameterErr;
  if (list->empty()) {
    configuration.dataRateLimit.reset();
    return noErr;
  }
  const auto bytes = positiveNumber((*list)[0], maximumBitRate);
  const auto seconds = positiveNumber((*list)[1], 3600);
  if (!bytes || !seconds || *bytes <= 0 || *seconds <= 0) return kVTParameterErr;
  configuration.dataRateLimit = VTEncoderConfiguration::DataRateLimit{*bytes, *seconds};
  return noErr;
}

OSStatus setBitRate(VTEncoderConfiguration& configuration, VTEncoderConfiguration::RateControl rateControl,
                    const VTPropertyValue& value) {
  const auto bitRate = positiveNumber(value, maximumBitRate);
  if (!bitRate) return kVTParameterErr;
  configuration.rateControl = rateControl;
  configuration.bitRate = static_cast<std::int64_t>(*bitRate);
  return noErr;
}

OSStatus setFlag(bool& field, const VTPropertyValue& value) {
  const auto flag = value.flag();
  if (!flag) return kVTParameterErr;
  field = *flag;
  return noErr;
}

}  // namespace

OSStatus VTEncoderConfiguration::set(std::string_view key, const VTPropertyValue& value) {
  VTEncoderConfiguration changed = *this;
  OSStatus status = noErr;
  if (key == kVTCompressionPropertyKey_ProfileLevel) {
    const auto* text = value.string();
    status = text ? setProfileLevel(changed, *text) : kVTParameterErr;
  } else if (key == kVTCompressionPropertyKey_H264EntropyMode) {
    const auto* text = value.string();
    if (codecType != kCMVideoCodecType_H264 || !text || (*text != kVTH264EntropyMode_CABAC && *text != kVTH264EntropyMode_CAVLC)) {
      status = kVTParameterErr;
    } else {
      changed.cabac = *text == kVTH264EntropyMode_CABAC;
    }
  } else if (key == kVTCompressionPropertyKey_AverageBitRate) {
    status = setBitRate(changed, RateControl::average, value);
  } else if (key == kVTCompressionPropertyKey_ConstantBitRate) {
    status = setBitRate(changed, RateControl::constant, value);
  } else if (key == kVTCompressionPropertyKey_VariableBitRate) {
    status = setBitRate(changed, RateControl::variable, value);
  } else if (key == kVTCompressionPropertyKey_DataRateLimits) {
    status = setDataRateLimits(changed, value);
  } else if (key == kVTCompressionPropertyKey_ExpectedFrameRate) {
    const auto rate = positiveNumber(value, 1000);
    status = rate ? noErr : kVTParameterErr;
    if (rate) changed.expectedFrameRate = *rate;
  } else if (key == kVTCompressionPropertyKey_MaxKeyFrameInterval) {
    const auto frames = positiveNumber(value, 1e6);
    status = frames ? noErr : kVTParameterErr;
    if (frames) changed.maxKeyFrameInterval = static_cast<std::int64_t>(*frames);
  } else if (key == kVTCompressionPropertyKey_MaxKeyFrameIntervalDuration) {
    const auto seconds = positiveNumber(value, 1e6);
    status = seconds ? noErr : kVTParameterErr;
    if (seconds) changed.maxKeyFrameIntervalDuration = *seconds;
  } else if (key == kVTCompressionPropertyKey_AllowFrameReordering) {
    status = setFlag(changed.allowFrameReordering, value);
  } else if (key == kVTCompressionPropertyKey_RealTime) {
    status = setFlag(changed.realTime, value);
  } else if (key == kVTCompressionPropertyKey_PixelTransferProperties) {
    const auto* properties = value.dictionary();
    if (!properties) return kVTParameterErr;
    if (const auto mode = properties->find(std::string(kVTPixelTransferPropertyKey_ScalingMode));
        mode != properties->end()) {
      const auto* text = mode->second.string();
      const auto scalingMode = text ? scalingModeFromString(*text) : std::nullopt;
      status = scalingMode ? noErr : kVTParameterErr;
      if (scalingMode) changed.scalingMode = *scalingMode;
    }
  } else {
    status = kVTPropertyNotSupportedErr;
  }
  if (status == noErr) *this = std::move(changed);
  return status;
}

}  // namespace platform
