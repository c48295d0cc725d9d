#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"

#include <array>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "Fluvio/Sources/Codec/VideoCodec.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"

namespace fluvio {

namespace {

constexpr std::array<std::pair<VideoCodecScalingMode, std::string_view>, 4> kScalingModes{{
    {VideoCodecScalingMode::normal, platform::kVTScalingMode_Normal},
    {VideoCodecScalingMode::letterbox, platform::kVTScalingMode_Letterbox},
    {VideoCodecScalingMode::cropSourceToCleanAperture, platform::kVTScalingMode_CropSourceToCleanAperture},
    {VideoCodecScalingMode::trim, platform::kVTScalingMode_Trim},
}};

// Bytes per second for a bit rate, with half again as much headroom.
constexpr double kDataRateLimitPerBit = 0.125 * 1.5;
constexpr double kDataRateLimitWindowSeconds = 1.0;

VideoCodecFormat formatOf(const std::string& profileLevel) {
  return profileLevel.find("HEVC") != std::string::npos ? VideoCodecFormat::hevc : VideoCodecFormat::h264;
}

bool isBaseline(const std::string& profileLevel) { return profileLevel.find("Baseline") != std::string::npos; }

[[noreturn]] void throwTypeError(const nlohmann::ordered_json& json, const std::string& message) {
  throw nlohmann::ordered_json::type_error::create(302, message, &json);
}

const nlohmann::ordered_json& requiredMember(const nlohmann::ordered_json& json, const char* key) {
  if (!json.is_object()) throwTypeError(json, "expected a keyed container");
  return json.at(key);
}

// The member, or null when missing or null.
const nlohmann::ordered_json* optionalMember(const nlohmann::ordered_json& json, const char* key) {
  const auto entry = json.find(key);
  return entry == json.end() || entry->is_null() ? nullptr : &*entry;
}

double readDouble(const nlohmann::ordered_json& json) {
  if (!json.is_number()) throwTypeError(json, "expected a number");
  return json.get<double>();
}

template <class Integer>
Integer readInteger(const nlohmann::ordered_json& json) {
  using Limits = std::numeric_limits<Integer>;
  if (json.is_number_unsigned()) {
    if (const auto value = json.get<std::uint64_t>(); value <= static_cast<std::uint64_t>(Limits::max())) {
      return static_cast<Integer>(value);
    }
  } else if (json.is_number_integer()) {
    if (const auto value = json.get<std::int64_t>(); value >= Limits::min() && value <= Limits::max()) {
      return static_cast<Integer>(value);
    }
  }
  throwTypeError(json, "expected an integer within the field's range");
}

bool readBool(const nlohmann::ordered_json& json) {
  if (!json.is_boolean()) throwTypeError(json, "expected a boolean");
  return json.get<bool>();
}

const std::string& readString(const nlohmann::ordered_json& json) {
  if (!json.is_string()) throwTypeError(json, "expected a string");
  return json.get_ref<const std::string&>();
}

platform::CGSize readSize(const nlohmann::ordered_json& json) {
  if (!json.is_array() || json.size() != 2) throwTypeError(json, "a size is [width, height]");
  return {readDouble(json[0]), readDouble(json[1])};
}

std::vector<double> readDoubles(const nlohmann::ordered_json& json) {
  if (!json.is_array()) throwTypeError(json, "expected a list of numbers");
  std::vector<double> values;
  values.reserve(json.size());
  for (const auto& value : json) values.push_back(readDouble(value));
  return values;
}

}  // namespace

const VideoCodecSettings::BitRateMode& VideoCodecSettings::BitRateMode::average() {
  static const BitRateMode mode{VTSessionOptionKey::averageBitRate()};
  return mode;
}

const VideoCodecSettings::BitRateMode& VideoCodecSettings::BitRateMode::constant() {
  static const BitRateMode mode{VTSessionOptionKey::constantBitRate()};
  return mode;
}

const VideoCodecSettings::BitRateMode& VideoCodecSettings::BitRateMode::variable() {
  static const BitRateMode mode{VTSessionOptionKey::variableBitRate()};
  return mode;
}

const VideoCodecSettings& VideoCodecSettings::defaultSettings() {
  static const VideoCodecSettings settings;
  return settings;
}

VideoCodecSettings::VideoCodecSettings(platform::CGSize videoSize, std::int64_t bitRate, std::string profileLevel,
                                       ScalingMode scalingMode, BitRateMode bitRateMode,
                                       std::int32_t maxKeyFrameIntervalDuration,
                                       std::optional<bool> allowFrameReordering,
                                       std::optional<std::vector<double>> dataRateLimits,
                                       bool isLowLatencyRateControlEnabled, bool isHardwareAcceleratedEnabled,
                                       std::optional<double> expectedFrameRate)
    : videoSize(videoSize),
      bitRate(bitRate),
      scalingMode(scalingMode),
      bitRateMode(std::move(bitRateMode)),
      maxKeyFrameIntervalDuration(maxKeyFrameIntervalDuration),
      allowFrameReordering(allowFrameReordering),
      dataRateLimits(std::move(dataRateLimits)),
      isLowLatencyRateControlEnabled(isLowLatencyRateControlEnabled),
      isHardwareAcceleratedEnabled(isHardwareAcceleratedEnabled),
      expectedFrameRate(expectedFrameRate),
      format(formatOf(profileLevel)),
      profileLevel_(std::move(profileLevel)) {}

void VideoCodecSettings::setProfileLevel(std::string profileLevel) {
  profileLevel_ = std::move(profileLevel);
  format = formatOf(profileLevel_);
}

VTSessionOptionSet VideoCodecSettings::sessionOptions() const {
  VTSessionOptionSet options;
  options.insert({VTSessionOptionKey::realTime(), true});
  options.insert({VTSessionOptionKey::profileLevel(), profileLevel_});
  options.insert({bitRateMode.key, bitRate});
  options.insert({VTSessionOptionKey::maxKeyFrameIntervalDuration(), maxKeyFrameIntervalDuration});
  options.insert(
      {VTSessionOptionKey::allowFrameReordering(), allowFrameReordering.value_or(!isBaseline(profileLevel_))});
  options.insert({VTSessionOptionKey::pixelTransferProperties(),
                  platform::VTPropertyDictionary{{std::string(platform::kVTPixelTransferPropertyKey_ScalingMode),
                                                  std::string(rawValue(scalingMode))}}});
  if (auto limits = dataRateLimitsOption()) options.insert(std::move(*limits));
  if (!isBaseline(profileLevel_) && profileLevel_.find("H264") != std::string::npos) {
    options.insert({VTSessionOptionKey::h264EntropyMode(), std::string(platform::kVTH264EntropyMode_CABAC)});
  }
  return options;
}

std::optional<VTSessionOption> VideoCodecSettings::dataRateLimitsOption() const {
  if (bitRateMode != BitRateMode::average() || !dataRateLimits || dataRateLimits->size() != 2) return std::nullopt;
  const auto& limits = *dataRateLimits;
  const double bytes = limits[0] == 0.0 ? static_cast<double>(bitRate) * kDataRateLimitPerBit : limits[0];
  const double seconds = limits[1] == 0.0 ? kDataRateLimitWindowSeconds : limits[1];
  return VTSessionOption{VTSessionOptionKey::dataRateLimits(), platform::VTPropertyValue::List{bytes, seconds}};
}

bool VideoCodecSettings::requiresNewSession(const VideoCodecSettings& other) const {
  return videoSize.width != other.videoSize.width || videoSize.height != other.videoSize.height ||
         maxKeyFrameIntervalDuration != other.maxKeyFrameIntervalDuration || scalingMode != other.scalingMode ||
         allowFrameReordering != other.allowFrameReordering || bitRateMode != other.bitRateMode ||
         profileLevel_ != other.profileLevel_ || dataRateLimits != other.dataRateLimits ||
         isLowLatencyRateControlEnabled != other.isLowLatencyRateControlEnabled ||
         isHardwareAcceleratedEnabled != other.isHardwareAcceleratedEnabled || format != other.format;
}

void VideoCodecSettings::apply(VideoCodec& codec, const VideoCodecSettings& rhs) const {
  const auto& session = codec.session();
  if (bitRate != rhs.bitRate) {
    TP_INFO(logger(), "bitRate change from ", rhs.bitRate, " to ", bitRate);
    if (session) {
      session->applyOption({bitRateMode.key, bitRate});
      // A limit derived from the bit rate would otherwise hold the encoder at the old rate.
      if (dataRateLimits && !dataRateLimits->empty() && dataRateLimits->front() == 0.0) {
        if (const auto limits = dataRateLimitsOption()) session->applyOption(*limits);
      }
    }
  }
  if (frameInterval != rhs.frameInterval) codec.setFrameInterval(frameInterval);
  if (!expectedFrameRate && !rhs.expectedFrameRate) return;
  if (expectedFrameRate && rhs.expectedFrameRate == expectedFrameRate) return;
  if (session) session->applyOption({VTSessionOptionKey::expectedFrameRate(), expectedFrameRate.value_or(0.0)});
}

std::string_view rawValue(VideoCodecScalingMode mode) noexcept {
  for (const auto& [candidate, raw] : kScalingModes) {
    if (candidate == mode) return raw;
  }
  return {};
}

template <>
std::optional<VideoCodecScalingMode> fromRawValue<VideoCodecScalingMode>(std::string_view rawValue) {
  for (const auto& [mode, raw] : kScalingModes) {
    if (raw == rawValue) return mode;
  }
  return std::nullopt;
}

void to_json(nlohmann::ordered_json& json, VideoCodecFormat format) {
  json = nlohmann::ordered_json::object();
  json[format == VideoCodecFormat::hevc ? "hevc" : "h264"] = nlohmann::ordered_json::object();
}

void from_json(const nlohmann::ordered_json& json, VideoCodecFormat& format) {
  if (!json.is_object() || json.size() != 1) throwTypeError(json, "Invalid number of keys found, expected one.");
  const auto entry = json.begin();
  const auto& name = entry.key();
  const auto& body = entry.value();
  if (!body.is_object()) throwTypeError(body, "expected an empty keyed container");
  if (name == "h264") {
    format = VideoCodecFormat::h264;
  } else if (name == "hevc") {
    format = VideoCodecFormat::hevc;
  } else {
    throwTypeError(json, "unknown video format " + name);
  }
}

void to_json(nlohmann::ordered_json& json, VideoCodecScalingMode mode) { json = std::string(rawValue(mode)); }

void from_json(const nlohmann::ordered_json& json, VideoCodecScalingMode& mode) {
  const auto parsed = fromRawValue<VideoCodecScalingMode>(readString(json));
  if (!parsed) throwTypeError(json, "unknown scaling mode " + json.get<std::string>());
  mode = *parsed;
}

void to_json(nlohmann::ordered_json& json, const VideoCodecSettings::BitRateMode& mode) {
  json = nlohmann::ordered_json{{"key", mode.key.rawValue}};
}

void from_json(const nlohmann::ordered_json& json, VideoCodecSettings::BitRateMode& mode) {
  mode = VideoCodecSettings::BitRateMode{VTSessionOptionKey{readString(requiredMember(json, "key"))}};
}

void to_json(nlohmann::ordered_json& json, const VideoCodecSettings& settings) {
  json = nlohmann::ordered_json::object();
  json["videoSize"] = {settings.videoSize.width, settings.videoSize.height};
  json["bitRate"] = settings.bitRate;
  json["profileLevel"] = settings.profileLevel();
  json["scalingMode"] = settings.scalingMode;
  json["bitRateMode"] = settings.bitRateMode;
  json["maxKeyFrameIntervalDuration"] = settings.maxKeyFrameIntervalDuration;
  if (settings.allowFrameReordering) json["allowFrameReordering"] = *settings.allowFrameReordering;
  if (settings.dataRateLimits) json["dataRateLimits"] = *settings.dataRateLimits;
  json["isLowLatencyRateControlEnabled"] = settings.isLowLatencyRateControlEnabled;
  json["isHardwareAcceleratedEnabled"] = settings.isHardwareAcceleratedEnabled;
  json["frameInterval"] = settings.frameInterval;
  if (settings.expectedFrameRate) json["expectedFrameRate"] = *settings.expectedFrameRate;
  json["format"] = settings.format;
}

void from_json(const nlohmann::ordered_json& json, VideoCodecSettings& settings) {
  std::optional<bool> allowFrameReordering;
  if (const auto* value = optionalMember(json, "allowFrameReordering")) allowFrameReordering = readBool(*value);
  std::optional<std::vector<double>> dataRateLimits;
  if (const auto* value = optionalMember(json, "dataRateLimits")) dataRateLimits = readDoubles(*value);
  std::optional<double> expectedFrameRate;
  if (const auto* value = optionalMember(json, "expectedFrameRate")) expectedFrameRate = readDouble(*value);

  VideoCodecSettings decoded(
      readSize(requiredMember(json, "videoSize")), readInteger<std::int64_t>(requiredMember(json, "bitRate")),
      readString(requiredMember(json, "profileLevel")),
      requiredMember(json, "scalingMode").get<VideoCodecScalingMode>(),
      requiredMember(json, "bitRateMode").get<VideoCodecSettings::BitRateMode>(),
      readInteger<std::int32_t>(requiredMember(json, "maxKeyFrameIntervalDuration")), allowFrameReordering,
      std::move(dataRateLimits), readBool(requiredMember(json, "isLowLatencyRateControlEnabled")),
      readBool(requiredMember(json, "isHardwareAcceleratedEnabled")), expectedFrameRate);
  decoded.frameInterval = readDouble(requiredMember(json, "frameInterval"));
  // Taken as written, not derived from the profile level again.
  decoded.format = requiredMember(json, "format").get<VideoCodecFormat>();
  settings = std::move(decoded);
}

}  // namespace fluvio
