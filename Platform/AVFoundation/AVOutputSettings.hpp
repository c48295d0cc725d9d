#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/VideoToolbox/VTPropertyValue.hpp"

namespace platform {

// The kind of media a writer input takes: the media type of its format descriptions.
using AVMediaType = CMMediaType;
inline constexpr AVMediaType AVMediaTypeAudio = kCMMediaType_Audio;
inline constexpr AVMediaType AVMediaTypeVideo = kCMMediaType_Video;

// What a writer input makes of raw media, key by key. Empty settings take
// encoded media as it is.
using AVOutputSettingsValue = VTPropertyValue;
using AVOutputSettings = VTPropertyDictionary;

// Audio: the format as an integer format identifier (only MPEG-4 AAC is
// encoded), the sample rate in hertz, the channel count and the bit rate in
// bits per second. Rate and channels default to the source's.
inline const std::string AVFormatIDKey = "AVFormatIDKey";
inline const std::string AVSampleRateKey = "AVSampleRateKey";
inline const std::string AVNumberOfChannelsKey = "AVNumberOfChannelsKey";
inline const std::string AVEncoderBitRateKey = "AVEncoderBitRateKey";

// Video: the codec (one of the codec types below), the picture's width and
// height, and a dictionary of compression properties holding the average bit
// rate in bits per second.
inline const std::string AVVideoCodecKey = "AVVideoCodecKey";
inline const std::string AVVideoWidthKey = "AVVideoWidthKey";
inline const std::string AVVideoHeightKey = "AVVideoHeightKey";
inline const std::string AVVideoCompressionPropertiesKey = "AVVideoCompressionPropertiesKey";
inline const std::string AVVideoAverageBitRateKey = "AverageBitRate";

using AVVideoCodecType = std::string;
inline const AVVideoCodecType AVVideoCodecTypeH264 = "avc1";
inline const AVVideoCodecType AVVideoCodecTypeHEVC = "hvc1";

// The codec the settings name, if they name one this writer knows.
std::optional<AudioFormatID> audioFormatID(const AVOutputSettings& settings);
std::optional<CMVideoCodecType> videoCodecType(const AVOutputSettings& settings);

// Audio settings as an encoding input reads them; none when a key holds a
// value it cannot take (a format other than MPEG-4 AAC among them).
struct AVAudioOutputSettings {
  AudioFormatID formatID = kAudioFormatMPEG4AAC;
  std::optional<int> sampleRate;
  std::optional<int> channels;
  std::optional<std::int64_t> bitRate;

  static std::optional<AVAudioOutputSettings> read(const AVOutputSettings& settings);
};

// Video settings as an encoding input reads them; codec, width and height
// are required.
struct AVVideoOutputSettings {
  CMVideoCodecType codecType = kCMVideoCodecType_H264;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::optional<std::int64_t> averageBitRate;

  static std::optional<AVVideoOutputSettings> read(const AVOutputSettings& settings);
};

}  // namespace platform
