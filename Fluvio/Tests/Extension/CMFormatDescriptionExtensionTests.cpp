#include <gtest/gtest.h>

#include "Fluvio/Sources/Extension/CMFormatDescriptionExtension.hpp"

namespace fluvio {
namespace {

using platform::fourCC;

bool videoIsCompressed(platform::FourCharCode subtype) {
  const auto description = platform::CMFormatDescription::makeVideo(subtype, {64, 64});
  EXPECT_TRUE(description) << platform::fourCCString(subtype);
  return description && isCompressed(*description.value);
}

TEST(CMFormatDescriptionIsCompressedTest, PixelFormatsAreUncompressed) {
  for (const platform::FourCharCode code : {fourCC("420v"), fourCC("420f"), fourCC("BGRA"), fourCC("y420"),
                                            platform::FourCharCode{32}, platform::FourCharCode{1}}) {
    EXPECT_FALSE(videoIsCompressed(code)) << platform::fourCCString(code);
  }
}

TEST(CMFormatDescriptionIsCompressedTest, TheMaskedCodesOfBothRangesAreUncompressed) {
  for (const platform::FourCharCode code : {fourCC("2C08"), fourCC("2C0f"), fourCC("2C0h"), fourCC("L008"),
                                            fourCC("L00f"), fourCC("L00h")}) {
    EXPECT_FALSE(videoIsCompressed(code)) << platform::fourCCString(code);
  }
  for (const platform::FourCharCode code : {fourCC("2C0g"), fourCC("L00g"), fourCC("L009")}) {
    EXPECT_TRUE(videoIsCompressed(code)) << platform::fourCCString(code);
  }
}

TEST(CMFormatDescriptionIsCompressedTest, CodecsUnknownCodesAndAudioAreCompressed) {
  EXPECT_TRUE(videoIsCompressed(platform::kCMVideoCodecType_H264));
  EXPECT_TRUE(videoIsCompressed(platform::kCMVideoCodecType_HEVC));
  EXPECT_TRUE(videoIsCompressed(platform::FourCharCode{4}));

  platform::AudioStreamBasicDescription pcm;
  pcm.mSampleRate = 48000;
  pcm.mFormatID = platform::kAudioFormatLinearPCM;
  pcm.mFormatFlags = platform::kAudioFormatFlagIsSignedInteger | platform::kAudioFormatFlagIsPacked;
  pcm.mBytesPerPacket = 4;
  pcm.mFramesPerPacket = 1;
  pcm.mBytesPerFrame = 4;
  pcm.mChannelsPerFrame = 2;
  pcm.mBitsPerChannel = 16;
  const auto audio = platform::CMFormatDescription::makeAudio(pcm);
  ASSERT_TRUE(audio);
  EXPECT_TRUE(isCompressed(*audio.value));
}

}  // namespace
}  // namespace fluvio
