#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/VideoToolbox/VTPixelTransfer.hpp"
#include "Platform/VideoToolbox/VTPropertyValue.hpp"

namespace platform {

// What a compression session's properties ask of its encoder. Every
// property is checked as it is set, so an encoder is only ever opened with
// values it can take.
struct VTEncoderConfiguration {
  enum class RateControl { average, constant, variable };

  // The limit of a data-rate limits list: at most `bytes` in any `seconds`.
  struct DataRateLimit {
    double bytes = 0;
    double seconds = 0;

    friend bool operator==(const DataRateLimit&, const DataRateLimit&) = default;
  };

  CMVideoCodecType codecType = kCMVideoCodecType_H264;
  // "baseline", "main", "high" (H.264) or "main" (HEVC); empty leaves it to the encoder.
  std::string profile;
  // The level times ten (31 for 3.1); 0 leaves it to the encoder.
  int level = 0;
  std::optional<bool> cabac;
  RateControl rateControl = RateControl::average;
  std::int64_t bitRate = 0;  // 0: constant quality
  std::optional<DataRateLimit> dataRateLimit;
  std::optional<std::int64_t> maxKeyFrameInterval;
  std::optional<double> maxKeyFrameIntervalDuration;
  bool allowFrameReordering = true;
  bool realTime = false;
  double expectedFrameRate = 0;  // 0: not known
  VTScalingMode scalingMode = VTScalingMode::normal;

  // kVTPropertyNotSupportedErr for an unknown key, kVTParameterErr for a
  // value of the wrong kind or out of range; the configuration is unchanged then.
  OSStatus set(std::string_view key, const VTPropertyValue& value);

  friend bool operator==(const VTEncoderConfiguration&, const VTEncoderConfiguration&) = default;
};

}  // namespace platform
