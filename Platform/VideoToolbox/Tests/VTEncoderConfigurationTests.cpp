#include <gtest/gtest.h>

#include <cmath>

#include "Platform/VideoToolbox/VTEncoderConfiguration.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace platform {
namespace {

TEST(VTEncoderConfiguration, ReadsProfileLevels) {
  VTEncoderConfiguration configuration;
  ASSERT_EQ(configuration.set(kVTCompressionPropertyKey_ProfileLevel, "H264_Baseline_3_1"), noErr);
  EXPECT_EQ(configuration.profile, "baseline");
  EXPECT_EQ(configuration.level, 31);
  ASSERT_EQ(configuration.set(kVTCompressionPropertyKey_ProfileLevel, "H264_High_AutoLevel"), noErr);
  EXPECT_EQ(configuration.profile, "high");
  EXPECT_EQ(configuration.level, 0);

  // Another codec's profile, unknown profiles and malformed levels change nothing.
  for (const char* text : {"HEVC_Main_AutoLevel", "H264_Extended_5_0", "H264_Baseline_31", "H264_Baseline", "", "H264_Main_x_1"}) {
    EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_ProfileLevel, text), kVTParameterErr) << text;
  }
  EXPECT_EQ(configuration.profile, "high");

  VTEncoderConfiguration hevc;
  hevc.codecType = kCMVideoCodecType_HEVC;
  EXPECT_EQ(hevc.set(kVTCompressionPropertyKey_ProfileLevel, "HEVC_Main_AutoLevel"), noErr);
  EXPECT_EQ(hevc.set(kVTCompressionPropertyKey_H264EntropyMode, "CABAC"), kVTParameterErr);
}

TEST(VTEncoderConfiguration, ChecksRatesAndLimits) {
  VTEncoderConfiguration configuration;
  EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_ConstantBitRate, 1'000'000), noErr);
  EXPECT_EQ(configuration.rateControl, VTEncoderConfiguration::RateControl::constant);
  EXPECT_EQ(configuration.bitRate, 1'000'000);
  for (const VTPropertyValue& bad : {VTPropertyValue(-1), VTPropertyValue("fast"), VTPropertyValue(1e300),
                                     VTPropertyValue(std::nan(""))}) {
    EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_AverageBitRate, bad), kVTParameterErr);
  }
  EXPECT_EQ(configuration.bitRate, 1'000'000);

  EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_DataRateLimits, VTPropertyValue::List{412'500.0, 1.0}), noErr);
  EXPECT_EQ(configuration.dataRateLimit, (VTEncoderConfiguration::DataRateLimit{412'500, 1}));
  EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_DataRateLimits, VTPropertyValue::List{412'500.0}), kVTParameterErr);
  EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_DataRateLimits, VTPropertyValue::List{412'500.0, 0.0}),
            kVTParameterErr);
  EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_DataRateLimits, VTPropertyValue::List{}), noErr);
  EXPECT_FALSE(configuration.dataRateLimit);
}

TEST(VTEncoderConfiguration, ReadsFlagsAndPixelTransfer) {
  VTEncoderConfiguration configuration;
  EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_RealTime, 1), noErr);
  EXPECT_TRUE(configuration.realTime);
  EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_AllowFrameReordering, "no"), kVTParameterErr);
  EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_PixelTransferProperties,
                              VTPropertyDictionary{{std::string(kVTPixelTransferPropertyKey_ScalingMode), "Letterbox"}}),
            noErr);
  EXPECT_EQ(configuration.scalingMode, VTScalingMode::letterbox);
  EXPECT_EQ(configuration.set(kVTCompressionPropertyKey_PixelTransferProperties,
                              VTPropertyDictionary{{std::string(kVTPixelTransferPropertyKey_ScalingMode), "Stretch"}}),
            kVTParameterErr);
  EXPECT_EQ(configuration.scalingMode, VTScalingMode::letterbox);
  EXPECT_EQ(configuration.set("Unknown", true), kVTPropertyNotSupportedErr);
}

}  // namespace
}  // namespace platform
