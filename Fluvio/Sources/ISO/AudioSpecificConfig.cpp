#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"

#include <string_view>

#include "Fluvio/Sources/Util/Mirror.hpp"

namespace fluvio {

namespace {

constexpr std::uint8_t kLastObjectType = rawValue(AudioObjectType::hxvc);
constexpr std::uint8_t kLastFrequency = rawValue(SamplingFrequency::hz7350);
constexpr std::uint8_t kLastConfiguration =
    rawValue(ChannelConfiguration::frontCenterAndFrontLeftAndFrontRightAndSideLeftAndSideRightAndBackLeftAndBackRightLFE);

constexpr double kSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                   22050, 16000, 12000, 11025, 8000,  7350};
constexpr std::uint32_t kChannelCounts[] = {0, 1, 2, 3, 4, 5, 6, 8};

// Set in the second byte for 960 rather than 1,024 frames a packet.
constexpr std::uint8_t kFrameLengthBit = 0x04;
constexpr std::uint32_t kShortFrameCount = 960;

// The 13-bit ADTS frame length counts the header too.
constexpr std::size_t kADTSFrameLengthLimit = 1 << 13;

constexpr std::string_view kObjectTypeNames[] = {"unknown", "aacMain",     "aacLc",   "aacSsr", "aacLtp",
                                                 "aacSbr",  "aacScalable", "twinqVQ", "celp",   "hxvc"};
constexpr std::string_view kFrequencyNames[] = {"hz96000", "hz88200", "hz64000", "hz48000", "hz44100",
                                                "hz32000", "hz24000", "hz22050", "hz16000", "hz12000",
                                                "hz11025", "hz8000",  "hz7350"};
constexpr std::string_view kConfigurationNames[] = {
    "definedInAOTSpecificConfig",
    "frontCenter",
    "frontLeftAndFrontRight",
    "frontCenterAndFrontLeftAndFrontRight",
    "frontCenterAndFrontLeftAndFrontRightAndBackCenter",
    "frontCenterAndFrontLeftAndFrontRightAndBackLeftAndBackRight",
    "frontCenterAndFrontLeftAndFrontRightAndBackLeftAndBackRightLFE",
    "frontCenterAndFrontLeftAndFrontRightAndSideLeftAndSideRightAndBackLeftAndBackRightLFE",
};

// Values cast from outside the table print as their number.
template <std::size_t count>
std::ostream& printName(std::ostream& stream, const std::string_view (&names)[count], std::uint8_t rawValue) {
  if (rawValue < count) return stream << names[rawValue];
  return stream << static_cast<unsigned>(rawValue);
}

}  // namespace

template <>
std::optional<AudioObjectType> fromRawValue<AudioObjectType>(std::uint8_t rawValue) {
  if (rawValue > kLastObjectType) return std::nullopt;
  return static_cast<AudioObjectType>(rawValue);
}

template <>
std::optional<SamplingFrequency> fromRawValue<SamplingFrequency>(std::uint8_t rawValue) {
  if (rawValue > kLastFrequency) return std::nullopt;
  return static_cast<SamplingFrequency>(rawValue);
}

template <>
std::optional<ChannelConfiguration> fromRawValue<ChannelConfiguration>(std::uint8_t rawValue) {
  if (rawValue > kLastConfiguration) return std::nullopt;
  return static_cast<ChannelConfiguration>(rawValue);
}

std::optional<AudioObjectType> makeAudioObjectType(std::optional<std::uint32_t> objectID) {
  if (!objectID || *objectID < 1 || *objectID > kLastObjectType) return std::nullopt;
  return static_cast<AudioObjectType>(*objectID);
}

std::optional<SamplingFrequency> makeSamplingFrequency(double sampleRate) {
  // Out-of-range rates would make the truncation undefined; none of them is in the table anyway.
  if (!(sampleRate >= 0 && sampleRate < 1e9)) return std::nullopt;
  const auto wholeHertz = static_cast<double>(static_cast<std::int64_t>(sampleRate));
  for (std::uint8_t index = 0; index <= kLastFrequency; ++index) {
    if (kSampleRates[index] == wholeHertz) return static_cast<SamplingFrequency>(index);
  }
  return std::nullopt;
}

std::optional<ChannelConfiguration> makeChannelConfiguration(std::uint32_t channels) {
  if (channels <= 6) return static_cast<ChannelConfiguration>(channels);
  if (channels == 8) return ChannelConfiguration::frontCenterAndFrontLeftAndFrontRightAndSideLeftAndSideRightAndBackLeftAndBackRightLFE;
  return std::nullopt;
}

double sampleRate(SamplingFrequency frequency) { return kSampleRates[rawValue(frequency)]; }

std::uint32_t channelCount(ChannelConfiguration configuration) { return kChannelCounts[rawValue(configuration)]; }

std::optional<std::uint32_t> channelLayoutTag(ChannelConfiguration configuration) {
  switch (rawValue(configuration)) {
    case 3: return 0x720003;  // MPEG 3.0 B
    case 4: return 0x740004;  // MPEG 4.0 B
    case 5: return 0x780005;  // MPEG 5.0 D
    case 6: return 0x7C0006;  // MPEG 5.1 D
    case 7: return 0x7F0008;  // MPEG 7.1 B
    default: return std::nullopt;
  }
}

std::optional<AudioSpecificConfig> AudioSpecificConfig::make(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2) return std::nullopt;
  const auto type = fromRawValue<AudioObjectType>(bytes[0] >> 3);
  const auto frequency = fromRawValue<SamplingFrequency>(static_cast<std::uint8_t>((bytes[0] & 7) << 1 | bytes[1] >> 7));
  const auto channelConfig = fromRawValue<ChannelConfiguration>((bytes[1] >> 3) & 0x0F);
  if (!type || !frequency || !channelConfig) return std::nullopt;
  return AudioSpecificConfig{*type, *frequency, *channelConfig, (bytes[1] & kFrameLengthBit) != 0};
}

std::array<std::uint8_t, 2> AudioSpecificConfig::bytes() const {
  // The core-coder and extension bits are always written as 0.
  return {static_cast<std::uint8_t>(rawValue(type) << 3 | rawValue(frequency) >> 1),
          static_cast<std::uint8_t>((rawValue(frequency) & 1) << 7 | rawValue(channelConfig) << 3 |
                                    (frameLengthFlag ? kFrameLengthBit : 0))};
}

std::optional<AudioSpecificConfig> AudioSpecificConfig::make(
    const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) {
  const auto* streamDescription = formatDescription ? formatDescription->audioStreamBasicDescription() : nullptr;
  if (!streamDescription) return std::nullopt;
  // AAC stream descriptions carry the object type in their format flags.
  const auto type = makeAudioObjectType(streamDescription->mFormatFlags);
  const auto frequency = makeSamplingFrequency(streamDescription->mSampleRate);
  const auto channelConfig = makeChannelConfiguration(streamDescription->mChannelsPerFrame);
  if (!type || !frequency || !channelConfig) return std::nullopt;
  return AudioSpecificConfig{*type, *frequency, *channelConfig, streamDescription->mFramesPerPacket == kShortFrameCount};
}

platform::AudioStreamBasicDescription AudioSpecificConfig::streamDescription() const {
  platform::AudioStreamBasicDescription description;
  description.mSampleRate = sampleRate(frequency);
  description.mFormatID = platform::kAudioFormatMPEG4AAC;
  description.mFormatFlags = rawValue(type);
  description.mFramesPerPacket = frameLengthFlag ? kShortFrameCount : 1024;
  description.mChannelsPerFrame = channelCount(channelConfig);
  return description;
}

std::shared_ptr<platform::AVAudioFormat> AudioSpecificConfig::makeAudioFormat() const {
  const auto tag = channelLayoutTag(channelConfig);
  return platform::AVAudioFormat::make(streamDescription(), tag ? platform::AVAudioChannelLayout::make(*tag) : nullptr);
}

bool AudioSpecificConfig::encode(std::span<std::uint8_t> destination, std::size_t length) const {
  const auto objectType = rawValue(type);
  if (objectType < rawValue(AudioObjectType::aacMain) || objectType > rawValue(AudioObjectType::aacLtp)) return false;
  if (length >= kADTSFrameLengthLimit - adtsHeaderSize || destination.size() < adtsHeaderSize) return false;
  const auto frameLength = static_cast<std::uint32_t>(length + adtsHeaderSize);
  const auto channels = rawValue(channelConfig);
  destination[0] = 0xFF;
  destination[1] = 0xF1;  // sync, ID 0 (MPEG-4, so the profile is the object type less one), layer 0, no CRC
  destination[2] = static_cast<std::uint8_t>((objectType - 1) << 6 | rawValue(frequency) << 2 | channels >> 2);
  destination[3] = static_cast<std::uint8_t>((channels & 3) << 6 | frameLength >> 11);
  destination[4] = static_cast<std::uint8_t>(frameLength >> 3);
  destination[5] = static_cast<std::uint8_t>((frameLength & 7) << 5 | 0x1F);
  destination[6] = 0xFC;  // buffer fullness 0x7FF (variable rate), one raw data block
  return true;
}

std::string AudioSpecificConfig::debugDescription() const {
  return Mirror("AudioSpecificConfig", {Mirror::child("type", type), Mirror::child("frequency", frequency),
                                        Mirror::child("channelConfig", channelConfig),
                                        Mirror::child("frameLengthFlag", frameLengthFlag)})
      .debugDescription();
}

std::ostream& operator<<(std::ostream& stream, AudioObjectType value) {
  return printName(stream, kObjectTypeNames, rawValue(value));
}

std::ostream& operator<<(std::ostream& stream, SamplingFrequency value) {
  return printName(stream, kFrequencyNames, rawValue(value));
}

std::ostream& operator<<(std::ostream& stream, ChannelConfiguration value) {
  return printName(stream, kConfigurationNames, rawValue(value));
}

}  // namespace fluvio
