#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Fluvio/Sources/Codec/VTSessionOption.hpp"
#include "Platform/AVFoundation/CGGeometry.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace fluvio {

class VideoCodec;

// The video encoder's configuration. Fields that a running compression
// session cannot take (see requiresNewSession) make the codec build a new
// one; the rest are carried into the live session by apply().
struct VideoCodecSettings {
  enum class Format { h264, hevc };
  static constexpr std::array<Format, 2> allFormats{Format::h264, Format::hevc};

  enum class ScalingMode { normal, letterbox, cropSourceToCleanAperture, trim };

  // Which session property receives the bit rate.
  struct BitRateMode {
    VTSessionOptionKey key;

    static const BitRateMode& average();
    static const BitRateMode& constant();
    static const BitRateMode& variable();

    const std::string& description() const noexcept { return key.rawValue; }
    friend bool operator==(const BitRateMode& lhs, const BitRateMode& rhs) noexcept {
      return lhs.key.rawValue == rhs.key.rawValue;
    }
  };

  // One frame period less a millisecond, so a frame arriving a little early
  // still passes the codec's spacing check.
  static constexpr double frameInterval30 = 1.0 / 30.0 - 0.001;
  static constexpr double frameInterval10 = 0.099;
  static constexpr double frameInterval05 = 0.199;
  static constexpr double frameInterval01 = 0.999;

  // 854x480, 640,000 bit/s, H.264 Baseline 3.1, trim, average; built on first use.
  static const VideoCodecSettings& defaultSettings();

  // `format` follows the profile level; `frameInterval` starts at 0.
  explicit VideoCodecSettings(platform::CGSize videoSize = {854, 480}, std::int64_t bitRate = 640'000,
                              std::string profileLevel = std::string(platform::kVTProfileLevel_H264_Baseline_3_1),
                              ScalingMode scalingMode = ScalingMode::trim,
                              BitRateMode bitRateMode = BitRateMode::average(),
                              std::int32_t maxKeyFrameIntervalDuration = 2,
                              std::optional<bool> allowFrameReordering = std::nullopt,
                              std::optional<std::vector<double>> dataRateLimits = std::vector<double>{0.0, 0.0},
                              bool isLowLatencyRateControlEnabled = false, bool isHardwareAcceleratedEnabled = true,
                              std::optional<double> expectedFrameRate = std::nullopt);

  platform::CGSize videoSize;
  std::int64_t bitRate;
  ScalingMode scalingMode;
  BitRateMode bitRateMode;
  std::int32_t maxKeyFrameIntervalDuration;
  std::optional<bool> allowFrameReordering;
  // Bytes per second and the window in seconds; a 0 entry is derived from the bit rate.
  std::optional<std::vector<double>> dataRateLimits;
  bool isLowLatencyRateControlEnabled;
  // Carried and compared only: nothing here is configured by it.
  bool isHardwareAcceleratedEnabled;
  double frameInterval = 0.0;
  std::optional<double> expectedFrameRate;
  Format format;

  const std::string& profileLevel() const noexcept { return profileLevel_; }
  // Derives `format` again from the new profile level.
  void setProfileLevel(std::string profileLevel);

  // What a new compression session receives, at most one option per key.
  VTSessionOptionSet sessionOptions() const;
  // True when `other` differs in a field that only a new session can take.
  bool requiresNewSession(const VideoCodecSettings& other) const;
  // Carries into `codec` and its running session what changed from `rhs`
  // without needing a new session: bit rate (with a derived data-rate limit),
  // frame interval and expected frame rate.
  void apply(VideoCodec& codec, const VideoCodecSettings& rhs) const;

 private:
  // The data-rate option for the current bit rate; none unless the mode is
  // average and exactly two limits are given.
  std::optional<VTSessionOption> dataRateLimitsOption() const;

  std::string profileLevel_;
};

using VideoCodecFormat = VideoCodecSettings::Format;
using VideoCodecScalingMode = VideoCodecSettings::ScalingMode;

std::string_view rawValue(VideoCodecScalingMode mode) noexcept;
template <class Enumeration>
std::optional<Enumeration> fromRawValue(std::string_view rawValue);
template <>
std::optional<VideoCodecScalingMode> fromRawValue<VideoCodecScalingMode>(std::string_view rawValue);

// Keys are the field names; the size is [width, height], a format is a
// container with its one case name as key, a bit-rate mode {"key": raw key}.
void to_json(nlohmann::ordered_json& json, const VideoCodecSettings& settings);
void from_json(const nlohmann::ordered_json& json, VideoCodecSettings& settings);
void to_json(nlohmann::ordered_json& json, VideoCodecFormat format);
void from_json(const nlohmann::ordered_json& json, VideoCodecFormat& format);
void to_json(nlohmann::ordered_json& json, VideoCodecScalingMode mode);
void from_json(const nlohmann::ordered_json& json, VideoCodecScalingMode& mode);
void to_json(nlohmann::ordered_json& json, const VideoCodecSettings::BitRateMode& mode);
void from_json(const nlohmann::ordered_json& json, VideoCodecSettings::BitRateMode& mode);

}  // namespace fluvio
