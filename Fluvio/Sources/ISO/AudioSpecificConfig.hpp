#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Fluvio/Sources/Util/RawValue.hpp"

namespace fluvio {

// The two-byte AAC decoder configuration of MPEG-4 audio, and the 7-byte ADTS
// frame header written from it.
struct AudioSpecificConfig {
  enum class AudioObjectType : std::uint8_t {
    unknown = 0,
    aacMain = 1,
    aacLc = 2,
    aacSsr = 3,
    aacLtp = 4,
    aacSbr = 5,
    aacScalable = 6,
    twinqVQ = 7,
    celp = 8,
    hxvc = 9,
  };

  // Raw values are the sampling-frequency indices.
  enum class SamplingFrequency : std::uint8_t {
    hz96000 = 0,
    hz88200 = 1,
    hz64000 = 2,
    hz48000 = 3,
    hz44100 = 4,
    hz32000 = 5,
    hz24000 = 6,
    hz22050 = 7,
    hz16000 = 8,
    hz12000 = 9,
    hz11025 = 10,
    hz8000 = 11,
    hz7350 = 12,
  };

  enum class ChannelConfiguration : std::uint8_t {
    definedInAOTSpecificConfig = 0,
    frontCenter = 1,
    frontLeftAndFrontRight = 2,
    frontCenterAndFrontLeftAndFrontRight = 3,
    frontCenterAndFrontLeftAndFrontRightAndBackCenter = 4,
    frontCenterAndFrontLeftAndFrontRightAndBackLeftAndBackRight = 5,
    frontCenterAndFrontLeftAndFrontRightAndBackLeftAndBackRightLFE = 6,
    frontCenterAndFrontLeftAndFrontRightAndSideLeftAndSideRightAndBackLeftAndBackRightLFE = 7,
  };

  static constexpr std::size_t adtsHeaderSize = 7;

  AudioObjectType type = AudioObjectType::unknown;
  SamplingFrequency frequency = SamplingFrequency::hz96000;
  ChannelConfiguration channelConfig = ChannelConfiguration::definedInAOTSpecificConfig;
  bool frameLengthFlag = false;

  // Nothing for fewer than two bytes or values outside the tables.
  static std::optional<AudioSpecificConfig> make(std::span<const std::uint8_t> bytes);
  // Nothing without an audio stream description whose object type, rate and
  // channel count are all in the tables.
  static std::optional<AudioSpecificConfig> make(const std::shared_ptr<const platform::CMFormatDescription>& formatDescription);

  std::array<std::uint8_t, 2> bytes() const;

  // The AAC stream this config describes (960 or 1,024 frames a packet).
  platform::AudioStreamBasicDescription streamDescription() const;
  // That stream as a format, with the configuration's channel layout where it
  // has one; null when the platform rejects it.
  std::shared_ptr<platform::AVAudioFormat> makeAudioFormat() const;

  // Writes the ADTS header for a raw frame of `length` bytes into the first
  // seven bytes of `destination`. Writes nothing and gives false when the
  // object type has no ADTS profile (only 1 to 4 do), when the frame with its
  // header would not fit the 13-bit length field, or when `destination` is
  // shorter than the header.
  bool encode(std::span<std::uint8_t> destination, std::size_t length) const;

  std::string debugDescription() const;

  bool operator==(const AudioSpecificConfig&) const = default;
};

using AudioObjectType = AudioSpecificConfig::AudioObjectType;
using SamplingFrequency = AudioSpecificConfig::SamplingFrequency;
using ChannelConfiguration = AudioSpecificConfig::ChannelConfiguration;

constexpr std::uint8_t rawValue(AudioObjectType value) { return static_cast<std::uint8_t>(value); }
constexpr std::uint8_t rawValue(SamplingFrequency value) { return static_cast<std::uint8_t>(value); }
constexpr std::uint8_t rawValue(ChannelConfiguration value) { return static_cast<std::uint8_t>(value); }

template <>
std::optional<AudioObjectType> fromRawValue<AudioObjectType>(std::uint8_t rawValue);
template <>
std::optional<SamplingFrequency> fromRawValue<SamplingFrequency>(std::uint8_t rawValue);
template <>
std::optional<ChannelConfiguration> fromRawValue<ChannelConfiguration>(std::uint8_t rawValue);

// From the platform's MPEG-4 object identifier (1 to 9).
std::optional<AudioObjectType> makeAudioObjectType(std::optional<std::uint32_t> objectID);
// The rate is truncated to whole hertz and must match a table entry exactly.
std::optional<SamplingFrequency> makeSamplingFrequency(double sampleRate);
// 0 to 6 channels give configurations 0 to 6, and 8 channels configuration 7.
std::optional<ChannelConfiguration> makeChannelConfiguration(std::uint32_t channels);

double sampleRate(SamplingFrequency frequency);
std::uint32_t channelCount(ChannelConfiguration configuration);
// The layout tag that goes with configurations 3 to 7; nothing for 0 to 2.
std::optional<std::uint32_t> channelLayoutTag(ChannelConfiguration configuration);

std::ostream& operator<<(std::ostream& stream, AudioObjectType value);
std::ostream& operator<<(std::ostream& stream, SamplingFrequency value);
std::ostream& operator<<(std::ostream& stream, ChannelConfiguration value);

}  // namespace fluvio
