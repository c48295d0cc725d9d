#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "Platform/AVFAudio/AVAudioFormat.hpp"

namespace platform {
namespace {

AudioStreamBasicDescription aacDescription(std::uint32_t channels) {
  AudioStreamBasicDescription description;
  description.mSampleRate = 44100;
  description.mFormatID = kAudioFormatMPEG4AAC;
  description.mFormatFlags = 2;
  description.mFramesPerPacket = 1024;
  description.mChannelsPerFrame = channels;
  return description;
}

TEST(AVAudioFormatTests, CommonFormatsStateTheirStreamDescription) {
  const auto interleaved = AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, 48000, 2, true);
  ASSERT_TRUE(interleaved);
  const auto& stereo16 = interleaved->streamDescription();
  EXPECT_EQ(stereo16.mFormatID, kAudioFormatLinearPCM);
  EXPECT_EQ(stereo16.mFormatFlags, kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked);
  EXPECT_EQ(stereo16.mBytesPerFrame, 4u);
  EXPECT_EQ(stereo16.mBytesPerPacket, 4u);
  EXPECT_EQ(stereo16.mFramesPerPacket, 1u);
  EXPECT_EQ(stereo16.mBitsPerChannel, 16u);
  EXPECT_TRUE(interleaved->isInterleaved());
  EXPECT_FALSE(interleaved->isStandard());

  const auto standard = AVAudioFormat::makeStandard(44100, 2);
  ASSERT_TRUE(standard);
  EXPECT_EQ(standard->streamDescription().mFormatFlags, 0x29u);
  EXPECT_EQ(standard->streamDescription().mBytesPerFrame, 4u);
  EXPECT_EQ(standard->commonFormat(), AVAudioCommonFormat::pcmFormatFloat32);
  EXPECT_TRUE(standard->isStandard());

  const auto float64 = AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat64, 8000, 3, true);
  ASSERT_TRUE(float64);
  EXPECT_EQ(float64->streamDescription().mBytesPerFrame, 24u);
  EXPECT_EQ(float64->commonFormat(), AVAudioCommonFormat::pcmFormatFloat64);
}

TEST(AVAudioFormatTests, CommonFormatIsReadBackFromAStreamDescription) {
  auto description = AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt32, 48000, 2, false)->streamDescription();
  EXPECT_EQ(AVAudioFormat::make(description)->commonFormat(), AVAudioCommonFormat::pcmFormatInt32);

  description.mFormatFlags |= kAudioFormatFlagIsBigEndian;
  EXPECT_EQ(AVAudioFormat::make(description)->commonFormat(), AVAudioCommonFormat::otherFormat);

  auto packed24 = description;
  packed24.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
  packed24.mBitsPerChannel = 24;
  packed24.mBytesPerFrame = 6;
  packed24.mBytesPerPacket = 6;
  EXPECT_EQ(AVAudioFormat::make(packed24)->commonFormat(), AVAudioCommonFormat::otherFormat);

  EXPECT_EQ(AVAudioFormat::make(aacDescription(2))->commonFormat(), AVAudioCommonFormat::otherFormat);
}

TEST(AVAudioFormatTests, RefusesWhatNoStreamCanBe) {
  EXPECT_FALSE(AVAudioFormat::make(AVAudioCommonFormat::otherFormat, 48000, 2, true));
  EXPECT_FALSE(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, 48000, 0, true));
  EXPECT_FALSE(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, 0, 2, true));
  EXPECT_FALSE(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, NAN, 2, true));
  EXPECT_FALSE(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, INFINITY, 2, true));
  EXPECT_FALSE(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, 48000, 0x80000000u, true));
  EXPECT_FALSE(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, 48000, true, nullptr));

  auto noBytes = AVAudioFormat::makeStandard(48000, 1)->streamDescription();
  noBytes.mBytesPerFrame = 0;
  EXPECT_FALSE(AVAudioFormat::make(noBytes));

  const auto quadraphonic = AVAudioChannelLayout::make(kAudioChannelLayoutTag_Quadraphonic);
  EXPECT_FALSE(AVAudioFormat::make(aacDescription(2), quadraphonic));
  EXPECT_FALSE(AVAudioFormat::make(std::shared_ptr<const CMFormatDescription>()));
}

TEST(AVAudioFormatTests, ChannelLayoutGivesTheChannelCount) {
  EXPECT_FALSE(AVAudioChannelLayout::make(kAudioChannelLayoutTag_UseChannelDescriptions));
  EXPECT_FALSE(AVAudioChannelLayout::make(kAudioChannelLayoutTag_UseChannelBitmap));
  const auto discrete = AVAudioChannelLayout::make(kAudioChannelLayoutTag_DiscreteInOrder | 7);
  ASSERT_TRUE(discrete);
  EXPECT_EQ(discrete->channelCount(), 7u);

  const auto format = AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, 48000, false,
                                          AVAudioChannelLayout::make(kAudioChannelLayoutTag_MPEG_5_1_D));
  ASSERT_TRUE(format);
  EXPECT_EQ(format->channelCount(), 6u);
  EXPECT_EQ(format->channelLayout()->layoutTag(), kAudioChannelLayoutTag_MPEG_5_1_D);
  EXPECT_EQ(format->formatDescription()->audioChannelLayout()->mChannelLayoutTag, kAudioChannelLayoutTag_MPEG_5_1_D);
}

TEST(AVAudioFormatTests, EqualityComparesDescriptionAndLayout) {
  const auto stereo = AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, 48000, 2, true);
  EXPECT_EQ(*stereo, *AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, 48000, 2, true));
  EXPECT_NE(*stereo, *AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, 48000, 2, false));
  EXPECT_NE(*stereo, *AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, 44100, 2, true));
  EXPECT_NE(*stereo, *AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, 48000, 2, true));

  const auto withLayout = AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, 48000, true,
                                              AVAudioChannelLayout::make(kAudioChannelLayoutTag_Stereo));
  EXPECT_NE(*stereo, *withLayout);
  EXPECT_EQ(*withLayout, *AVAudioFormat::make(withLayout->streamDescription(), withLayout->channelLayout()));
}

TEST(AVAudioFormatTests, KeepsTheFormatDescriptionItIsMadeFrom) {
  const auto original = AVAudioFormat::make(aacDescription(8), AVAudioChannelLayout::make(kAudioChannelLayoutTag_MPEG_7_1_B));
  ASSERT_TRUE(original);
  const auto again = AVAudioFormat::make(original->formatDescription());
  ASSERT_TRUE(again);
  EXPECT_EQ(again->formatDescription(), original->formatDescription());
  EXPECT_EQ(*again, *original);

  // A layout the format has no object for still travels in the description.
  auto bitmap = CMFormatDescription::makeAudio(aacDescription(2), AudioChannelLayout{kAudioChannelLayoutTag_UseChannelBitmap, 3});
  ASSERT_TRUE(bitmap);
  const auto fromBitmap = AVAudioFormat::make(bitmap.value);
  ASSERT_TRUE(fromBitmap);
  EXPECT_FALSE(fromBitmap->channelLayout());
  EXPECT_EQ(fromBitmap->formatDescription()->audioChannelLayout()->mChannelBitmap, 3u);
}

TEST(AVAudioFormatTests, DescribesItselfForLogs) {
  std::ostringstream pcm;
  pcm << *AVAudioFormat::makeStandard(48000, 2);
  EXPECT_EQ(pcm.str(), "2 ch, 48000 Hz, Float32, deinterleaved");
  std::ostringstream aac;
  aac << *AVAudioFormat::make(aacDescription(1));
  EXPECT_EQ(aac.str(), "1 ch, 44100 Hz, 'aac ', interleaved");
}

}  // namespace
}  // namespace platform
