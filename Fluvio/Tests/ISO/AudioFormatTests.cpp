#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "Fluvio/Sources/ISO/ADTSHeader.hpp"
#include "Fluvio/Sources/ISO/AudioFormatExtension.hpp"
#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"

namespace fluvio {
namespace {

using platform::AudioStreamBasicDescription;
using platform::AVAudioCommonFormat;
using platform::CMFormatDescription;

std::shared_ptr<const CMFormatDescription> describe(const AudioStreamBasicDescription& description) {
  return CMFormatDescription::makeAudio(description).value;
}

AudioStreamBasicDescription bigEndianPCM(std::uint32_t channels, std::uint32_t bitsPerChannel, bool interleaved) {
  AudioStreamBasicDescription description;
  description.mSampleRate = 44100;
  description.mFormatID = platform::kAudioFormatLinearPCM;
  description.mFormatFlags = platform::kAudioFormatFlagIsBigEndian | platform::kAudioFormatFlagIsPacked |
                             (bitsPerChannel == 32 ? platform::kAudioFormatFlagIsFloat
                                                   : platform::kAudioFormatFlagIsSignedInteger) |
                             (interleaved ? 0 : platform::kAudioFormatFlagIsNonInterleaved);
  description.mBitsPerChannel = bitsPerChannel;
  description.mChannelsPerFrame = channels;
  description.mBytesPerFrame = bitsPerChannel / 8 * (interleaved ? channels : 1);
  description.mBytesPerPacket = description.mBytesPerFrame;
  description.mFramesPerPacket = 1;
  return description;
}

TEST(AudioFormatTests, MakesTheMixerLayoutForAChannelCount) {
  EXPECT_FALSE(makeChannelLayout(2));
  EXPECT_FALSE(makeChannelLayout(0));
  const std::pair<std::uint32_t, std::uint32_t> tags[] = {
      {3, 0x720003}, {4, 0x6C0004}, {5, 0x6D0005}, {6, 0x6E0006}, {8, 0x6F0008}, {7, 0x930007}, {9, 0x930009}};
  for (const auto& [channels, tag] : tags) {
    const auto layout = makeChannelLayout(channels);
    ASSERT_TRUE(layout) << channels;
    EXPECT_EQ(layout->layoutTag(), tag);
    EXPECT_EQ(layout->channelCount(), channels);
  }
}

TEST(AudioFormatTests, MakesNative16BitPCMOfBigEndian16BitDescriptions) {
  const auto stereo = makeAudioFormat(describe(bigEndianPCM(2, 16, true)));
  ASSERT_TRUE(stereo);
  EXPECT_EQ(stereo->commonFormat(), AVAudioCommonFormat::pcmFormatInt16);
  EXPECT_TRUE(stereo->isInterleaved());
  EXPECT_EQ(stereo->channelCount(), 2u);
  EXPECT_EQ(stereo->sampleRate(), 44100);
  EXPECT_FALSE(stereo->channelLayout());

  const auto surround = makeAudioFormat(describe(bigEndianPCM(6, 16, false)));
  ASSERT_TRUE(surround);
  EXPECT_EQ(surround->commonFormat(), AVAudioCommonFormat::pcmFormatInt16);
  EXPECT_FALSE(surround->isInterleaved());
  ASSERT_TRUE(surround->channelLayout());
  EXPECT_EQ(surround->channelLayout()->layoutTag(), 0x6E0006u);
}

TEST(AudioFormatTests, KeepsEveryOtherStreamAsDescribed) {
  const auto bigEndianFloat = bigEndianPCM(2, 32, true);
  const auto format = makeAudioFormat(describe(bigEndianFloat));
  if (format) {  // not turned into 16-bit samples
    EXPECT_EQ(format->streamDescription(), bigEndianFloat);
  }

  const AudioSpecificConfig config{AudioObjectType::aacLc, SamplingFrequency::hz48000,
                                   ChannelConfiguration::frontCenterAndFrontLeftAndFrontRight};
  const auto aac = makeAudioFormat(describe(config.streamDescription()));
  ASSERT_TRUE(aac);
  EXPECT_EQ(aac->streamDescription(), config.streamDescription());
  ASSERT_TRUE(aac->channelLayout());
  EXPECT_EQ(aac->channelLayout()->layoutTag(), 0x720003u);

  EXPECT_FALSE(makeAudioFormat(nullptr));
}

TEST(AudioSpecificConfigFormatTests, DescribesTheAACStream) {
  const AudioSpecificConfig config{AudioObjectType::aacLc, SamplingFrequency::hz44100,
                                   ChannelConfiguration::frontLeftAndFrontRight};
  const auto format = config.makeAudioFormat();
  ASSERT_TRUE(format);
  const auto& stream = format->streamDescription();
  EXPECT_EQ(stream.mFormatID, platform::kAudioFormatMPEG4AAC);
  EXPECT_EQ(stream.mFormatFlags, 2u);
  EXPECT_EQ(stream.mSampleRate, 44100);
  EXPECT_EQ(stream.mFramesPerPacket, 1024u);
  EXPECT_EQ(stream.mChannelsPerFrame, 2u);
  EXPECT_FALSE(format->channelLayout());

  auto shortFrames = config;
  shortFrames.frameLengthFlag = true;
  EXPECT_EQ(shortFrames.streamDescription().mFramesPerPacket, 960u);
  EXPECT_EQ(AudioSpecificConfig::make(shortFrames.makeAudioFormat()->formatDescription()), shortFrames);

  EXPECT_EQ(AudioSpecificConfig::make(format->formatDescription()), config);
  EXPECT_FALSE(AudioSpecificConfig::make(std::shared_ptr<const CMFormatDescription>()));
}

TEST(AudioSpecificConfigFormatTests, ConfigurationSevenHasEightChannelsEverywhere) {
  const auto configuration = *makeChannelConfiguration(8);
  const AudioSpecificConfig config{AudioObjectType::aacLc, SamplingFrequency::hz48000, configuration};
  const auto format = config.makeAudioFormat();
  ASSERT_TRUE(format);
  EXPECT_EQ(format->channelCount(), 8u);
  ASSERT_TRUE(format->channelLayout());
  EXPECT_EQ(format->channelLayout()->layoutTag(), 0x7F0008u);

  std::array<std::uint8_t, 7> bytes{};
  ASSERT_TRUE(config.encode(bytes, 100));
  const auto description = ADTSHeader(bytes).makeFormatDescription();
  ASSERT_TRUE(description);
  EXPECT_EQ(description->audioStreamBasicDescription()->mChannelsPerFrame, 8u);
}

TEST(ADTSHeaderFormatTests, DescribesTheStreamItAnnounces) {
  const std::vector<std::uint8_t> bytes{0xFF, 0xF9, 0x50, 0x80, 0x2E, 0x7F, 0xFC};
  const auto description = ADTSHeader(bytes).makeFormatDescription();
  ASSERT_TRUE(description);
  const auto* stream = description->audioStreamBasicDescription();
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->mFormatID, platform::kAudioFormatMPEG4AAC);
  EXPECT_EQ(stream->mFormatFlags, 2u);
  EXPECT_EQ(stream->mSampleRate, 44100);
  EXPECT_EQ(stream->mFramesPerPacket, 1024u);
  EXPECT_EQ(stream->mChannelsPerFrame, 2u);
  EXPECT_FALSE(description->audioChannelLayout());

  ADTSHeader outsideTheTable(bytes);
  outsideTheTable.sampleFrequencyIndex = 13;
  EXPECT_FALSE(outsideTheTable.makeFormatDescription());
}

}  // namespace
}  // namespace fluvio
