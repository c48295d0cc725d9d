#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "Fluvio/Sources/ISO/ADTSHeader.hpp"
#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"

namespace fluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr AudioSpecificConfig kLcStereo44100{AudioObjectType::aacLc, SamplingFrequency::hz44100,
                                             ChannelConfiguration::frontLeftAndFrontRight};

TEST(AudioSpecificConfigTests, ReadsAndWritesTheTwoBytes) {
  const auto config = AudioSpecificConfig::make(Bytes{0x12, 0x10});
  ASSERT_TRUE(config);
  EXPECT_EQ(*config, kLcStereo44100);
  EXPECT_EQ(config->bytes(), (std::array<std::uint8_t, 2>{0x12, 0x10}));

  const AudioSpecificConfig lc48000{AudioObjectType::aacLc, SamplingFrequency::hz48000,
                                    ChannelConfiguration::frontLeftAndFrontRight};
  EXPECT_EQ(lc48000.bytes(), (std::array<std::uint8_t, 2>{0x11, 0x90}));
  // Trailing bytes and the core-coder and extension bits are not read.
  EXPECT_EQ(AudioSpecificConfig::make(Bytes{0x11, 0x93, 0xAB}), lc48000);
}

TEST(AudioSpecificConfigTests, TheFrameLengthFlagSetsFramesPerPacketBothWays) {
  auto shortFrames = kLcStereo44100;
  shortFrames.frameLengthFlag = true;
  EXPECT_EQ(shortFrames.bytes(), (std::array<std::uint8_t, 2>{0x12, 0x14}));
  const auto read = AudioSpecificConfig::make(Bytes{0x12, 0x14});
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->frameLengthFlag);
  EXPECT_EQ(read->streamDescription().mFramesPerPacket, 960u);
  EXPECT_EQ(read->makeAudioFormat()->streamDescription().mFramesPerPacket, 960u);
  EXPECT_EQ(AudioSpecificConfig::make(Bytes{0x12, 0x10})->streamDescription().mFramesPerPacket, 1024u);
}

TEST(AudioSpecificConfigTests, RejectsValuesOutsideTheTablesAndShortInput) {
  EXPECT_FALSE(AudioSpecificConfig::make(Bytes{0x50, 0x10}));  // object type 10
  EXPECT_FALSE(AudioSpecificConfig::make(Bytes{0x17, 0x90}));  // frequency index 15
  EXPECT_FALSE(AudioSpecificConfig::make(Bytes{0x12, 0x40}));  // channel configuration 8
  EXPECT_FALSE(AudioSpecificConfig::make(Bytes{0x12}));
  EXPECT_FALSE(AudioSpecificConfig::make(Bytes{}));
}

TEST(AudioSpecificConfigTests, EveryConfigRoundTripsThroughItsBytes) {
  for (std::uint8_t type = 0; type <= 9; ++type) {
    for (std::uint8_t frequency = 0; frequency <= 12; ++frequency) {
      for (std::uint8_t channels = 0; channels <= 7; ++channels) {
        const AudioSpecificConfig config{*fromRawValue<AudioObjectType>(type),
                                         *fromRawValue<SamplingFrequency>(frequency),
                                         *fromRawValue<ChannelConfiguration>(channels)};
        EXPECT_EQ(AudioSpecificConfig::make(config.bytes()), config) << config.debugDescription();
      }
    }
  }
}

TEST(AudioSpecificConfigTests, MapsRatesChannelsAndObjectIdentifiers) {
  EXPECT_EQ(makeSamplingFrequency(44100.0), SamplingFrequency::hz44100);
  EXPECT_EQ(makeSamplingFrequency(44100.9), SamplingFrequency::hz44100);  // truncated
  EXPECT_FALSE(makeSamplingFrequency(44000.0));
  EXPECT_FALSE(makeSamplingFrequency(-1.0));
  EXPECT_FALSE(makeSamplingFrequency(1e300));
  EXPECT_EQ(sampleRate(SamplingFrequency::hz7350), 7350.0);

  EXPECT_EQ(makeChannelConfiguration(2), ChannelConfiguration::frontLeftAndFrontRight);
  const auto eight = makeChannelConfiguration(8);
  ASSERT_TRUE(eight);
  EXPECT_EQ(rawValue(*eight), 7);
  EXPECT_EQ(channelCount(*eight), 8u);
  EXPECT_EQ(channelLayoutTag(*eight), 0x7F0008u);
  EXPECT_FALSE(makeChannelConfiguration(7));
  EXPECT_FALSE(makeChannelConfiguration(9));
  EXPECT_FALSE(channelLayoutTag(ChannelConfiguration::frontLeftAndFrontRight));

  EXPECT_EQ(makeAudioObjectType(2u), AudioObjectType::aacLc);
  EXPECT_FALSE(makeAudioObjectType(0u));
  EXPECT_FALSE(makeAudioObjectType(10u));
  EXPECT_FALSE(makeAudioObjectType(std::nullopt));
}

TEST(AudioSpecificConfigTests, DescribesItselfByCaseNames) {
  EXPECT_EQ(kLcStereo44100.debugDescription(),
            "AudioSpecificConfig{type: aacLc,frequency: hz44100,channelConfig: frontLeftAndFrontRight,"
            "frameLengthFlag: false}");
}

TEST(ADTSHeaderTests, WritesTheKnownHeaderAndReadsItBack) {
  std::array<std::uint8_t, 7> header{};
  ASSERT_TRUE(kLcStereo44100.encode(header, 364));
  EXPECT_EQ(header, (std::array<std::uint8_t, 7>{0xFF, 0xF1, 0x50, 0x80, 0x2E, 0x7F, 0xFC}));

  const ADTSHeader read(header);
  EXPECT_EQ(read.sync, 0xFF);
  EXPECT_EQ(read.id, 0);
  EXPECT_EQ(read.layer, 0);
  EXPECT_TRUE(read.protectionAbsent);
  EXPECT_EQ(read.profile, 1);
  EXPECT_EQ(read.sampleFrequencyIndex, 4);
  EXPECT_EQ(read.channelConfiguration, 2);
  EXPECT_FALSE(read.originalOrCopy || read.home || read.copyrightIdBit || read.copyrightIdStart);
  EXPECT_EQ(read.aacFrameLength, 371);
  EXPECT_EQ(read.bufferFullness, 0x7FF);
  EXPECT_EQ(read.aacFrames, 0);
}

TEST(ADTSHeaderTests, EveryWritableConfigReadsBackFromItsHeader) {
  for (std::uint8_t type = 1; type <= 4; ++type) {
    for (std::uint8_t frequency = 0; frequency <= 12; ++frequency) {
      for (std::uint8_t channels = 0; channels <= 7; ++channels) {
        const AudioSpecificConfig config{*fromRawValue<AudioObjectType>(type),
                                         *fromRawValue<SamplingFrequency>(frequency),
                                         *fromRawValue<ChannelConfiguration>(channels)};
        std::array<std::uint8_t, 7> bytes{};
        ASSERT_TRUE(config.encode(bytes, 8184));
        const ADTSHeader header(bytes);
        EXPECT_EQ(header.profile + 1, type);
        EXPECT_EQ(header.sampleFrequencyIndex, frequency);
        EXPECT_EQ(header.channelConfiguration, channels);
        EXPECT_EQ(header.aacFrameLength, 8191);
      }
    }
  }
}

TEST(ADTSHeaderTests, RefusesWhatTheHeaderCannotCarry) {
  const std::array<std::uint8_t, 7> untouched{1, 2, 3, 4, 5, 6, 7};
  auto check = [&](const AudioSpecificConfig& config, std::size_t length) {
    auto bytes = untouched;
    EXPECT_FALSE(config.encode(bytes, length)) << config.debugDescription() << " length " << length;
    EXPECT_EQ(bytes, untouched);
  };
  check(kLcStereo44100, 8185);  // 8192 with the header: past 13 bits
  check(kLcStereo44100, SIZE_MAX);
  for (auto type : {AudioObjectType::unknown, AudioObjectType::aacSbr, AudioObjectType::hxvc}) {
    auto config = kLcStereo44100;
    config.type = type;
    check(config, 100);
  }

  std::array<std::uint8_t, 6> tooShort{};
  EXPECT_FALSE(kLcStereo44100.encode(tooShort, 100));
  EXPECT_EQ(tooShort, (std::array<std::uint8_t, 6>{}));
}

TEST(ADTSHeaderTests, IgnoresShortInputAndNeverWritesBytes) {
  ADTSHeader header(Bytes{0xFF, 0xF9, 0x50, 0x80, 0x2E, 0x7F, 0xFC});
  const auto before = header;
  header.setData(Bytes{0xFF, 0xF1, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(header, before);
  EXPECT_TRUE(header.data().empty());
  EXPECT_EQ(ADTSHeader(Bytes{0xFF}), ADTSHeader());
}

}  // namespace
}  // namespace fluvio
