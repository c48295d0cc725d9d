#include <gtest/gtest.h>

#include <vector>

#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Parameter sets of a 1920x1080 High-profile H.264 stream and a 1280x720 Main
// HEVC stream, with the avcC/hvcC atoms a movie muxer wrote for them.
const Bytes h264SPS{0x67, 0x64, 0x00, 0x28, 0xAC, 0xD9, 0x40, 0x78, 0x02, 0x27, 0xE5, 0xC0, 0x44, 0x00,
                    0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x03, 0x00, 0xF0, 0x3C, 0x60, 0xC6, 0x58};
const Bytes h264PPS{0x68, 0xEB, 0xE3, 0xCB, 0x22, 0xC0};
const Bytes avcC{0x01, 0x64, 0x00, 0x28, 0xFF, 0xE1, 0x00, 0x1B, 0x67, 0x64, 0x00, 0x28, 0xAC, 0xD9, 0x40, 0x78,
                 0x02, 0x27, 0xE5, 0xC0, 0x44, 0x00, 0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x03, 0x00, 0xF0, 0x3C,
                 0x60, 0xC6, 0x58, 0x01, 0x00, 0x06, 0x68, 0xEB, 0xE3, 0xCB, 0x22, 0xC0, 0xFD, 0xF8, 0xF8, 0x00};

const Bytes hevcVPS{0x40, 0x01, 0x0C, 0x01, 0xFF, 0xFF, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00,
                    0x90, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x5D, 0x95, 0x98, 0x09};
const Bytes hevcSPS{0x42, 0x01, 0x01, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00, 0x90, 0x00, 0x00, 0x03, 0x00, 0x00,
                    0x03, 0x00, 0x5D, 0xA0, 0x02, 0x80, 0x80, 0x2D, 0x16, 0x59, 0x59, 0xA4, 0x93, 0x2B, 0xC0,
                    0x5A, 0x02, 0x00, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00, 0x03, 0x00, 0x3C, 0x10};
const Bytes hevcPPS{0x44, 0x01, 0xC1, 0x72, 0xB4, 0x62, 0x40};
const Bytes hvcCHeader{0x01, 0x01, 0x60, 0x00, 0x00, 0x00, 0x90, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x5D, 0xF0, 0x00, 0xFC, 0xFD, 0xF8, 0xF8, 0x00, 0x00, 0x0F, 0x03};

const Bytes& atomOf(const CMFormatDescription& description, const std::string& name) {
  const auto* atoms = std::get_if<CMFormatDescriptionAtoms>(
      description.extension(kCMFormatDescriptionExtension_SampleDescriptionExtensionAtoms));
  static const Bytes none;
  return atoms && atoms->contains(name) ? atoms->at(name) : none;
}

AudioStreamBasicDescription pcm16(double sampleRate, std::uint32_t channels) {
  return {sampleRate, kAudioFormatLinearPCM, kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked,
          2 * channels, 1, 2 * channels, channels, 16};
}

}  // namespace

TEST(CMFormatDescriptionTests, BuildsTheAvcCAtomAndDimensionsFromH264ParameterSets) {
  const std::span<const std::uint8_t> sets[] = {h264SPS, h264PPS};
  const auto made = CMFormatDescription::makeFromH264ParameterSets(sets, 4);
  ASSERT_TRUE(made);
  const CMFormatDescription& description = *made.value;
  EXPECT_EQ(description.mediaType(), kCMMediaType_Video);
  EXPECT_EQ(description.mediaSubType(), kCMVideoCodecType_H264);
  EXPECT_EQ(description.dimensions(), (CMVideoDimensions{1920, 1080}));
  EXPECT_EQ(atomOf(description, "avcC"), avcC);
  EXPECT_EQ(description.parameterSets(), (std::vector<Bytes>{h264SPS, h264PPS}));
  EXPECT_EQ(description.nalUnitHeaderLength(), 4);
}

TEST(CMFormatDescriptionTests, BuildsTheHvcCAtomFromHEVCParameterSetsInAnyOrder) {
  const std::span<const std::uint8_t> sets[] = {hevcPPS, hevcSPS, hevcVPS};
  const auto made = CMFormatDescription::makeFromHEVCParameterSets(sets, 4);
  ASSERT_TRUE(made);
  const Bytes& hvcC = atomOf(*made.value, "hvcC");
  ASSERT_GT(hvcC.size(), hvcCHeader.size());
  EXPECT_EQ(Bytes(hvcC.begin(), hvcC.begin() + 23), hvcCHeader);
  EXPECT_EQ(hvcC[23], 0xA0);  // the VPS array comes first
  EXPECT_EQ(made.value->dimensions(), (CMVideoDimensions{1280, 720}));
  EXPECT_EQ(made.value->parameterSets(), (std::vector<Bytes>{hevcVPS, hevcSPS, hevcPPS}));
}

TEST(CMFormatDescriptionTests, ReadsParameterSetsFromAnEncodersAtom) {
  CMFormatDescriptionExtensions extensions{
      {kCMFormatDescriptionExtension_SampleDescriptionExtensionAtoms, CMFormatDescriptionAtoms{{"avcC", avcC}}}};
  const auto made = CMFormatDescription::makeVideo(kCMVideoCodecType_H264, {1920, 1080}, extensions);
  ASSERT_TRUE(made);
  EXPECT_EQ(made.value->parameterSets(), (std::vector<Bytes>{h264SPS, h264PPS}));

  // A truncated atom is refused instead of read past its end.
  extensions[kCMFormatDescriptionExtension_SampleDescriptionExtensionAtoms] =
      CMFormatDescriptionAtoms{{"avcC", Bytes(avcC.begin(), avcC.begin() + 20)}};
  EXPECT_FALSE(CMFormatDescription::makeVideo(kCMVideoCodecType_H264, {1920, 1080}, extensions));
}

TEST(CMFormatDescriptionTests, RefusesUnusableParameterSets) {
  const Bytes truncatedSPS(h264SPS.begin(), h264SPS.begin() + 6);
  const Bytes sei{0x06, 0x05, 0x01};
  const std::span<const std::uint8_t> noPPS[] = {h264SPS};
  const std::span<const std::uint8_t> truncated[] = {truncatedSPS, h264PPS};
  const std::span<const std::uint8_t> foreign[] = {h264SPS, h264PPS, sei};
  const std::span<const std::uint8_t> complete[] = {h264SPS, h264PPS};
  EXPECT_FALSE(CMFormatDescription::makeFromH264ParameterSets(noPPS, 4));
  EXPECT_FALSE(CMFormatDescription::makeFromH264ParameterSets(truncated, 4));
  EXPECT_FALSE(CMFormatDescription::makeFromH264ParameterSets(foreign, 4));
  EXPECT_FALSE(CMFormatDescription::makeFromH264ParameterSets(complete, 3));
  EXPECT_EQ(CMFormatDescription::makeFromH264ParameterSets({}, 4).status, kCMFormatDescriptionError_InvalidParameter);

  // A High-profile set whose scaling list carries a delta of 2^31 - 1.
  const Bytes outOfRangeScalingDelta{0x67, 0x64, 0x00, 0x28, 0xAD, 0x80, 0x00, 0x00,
                                     0x00, 0xFF, 0xFF, 0xFF, 0xFE, 0xFE, 0x00};
  const std::span<const std::uint8_t> scaled[] = {outOfRangeScalingDelta, h264PPS};
  EXPECT_FALSE(CMFormatDescription::makeFromH264ParameterSets(scaled, 4));

  const std::span<const std::uint8_t> noVPS[] = {hevcSPS, hevcPPS};
  EXPECT_FALSE(CMFormatDescription::makeFromHEVCParameterSets(noVPS, 4));
}

TEST(CMFormatDescriptionTests, ChecksAudioStreamDescriptions) {
  EXPECT_TRUE(CMFormatDescription::makeAudio(pcm16(48000, 2)));
  EXPECT_FALSE(CMFormatDescription::makeAudio(pcm16(0, 2)));
  EXPECT_FALSE(CMFormatDescription::makeAudio(pcm16(48000, 0)));
  AudioStreamBasicDescription shortFrames = pcm16(48000, 2);
  shortFrames.mBytesPerFrame = shortFrames.mBytesPerPacket = 2;
  EXPECT_FALSE(CMFormatDescription::makeAudio(shortFrames));
  // The layout's channel count must agree with the stream's.
  EXPECT_FALSE(CMFormatDescription::makeAudio(pcm16(48000, 2), AudioChannelLayout{kAudioChannelLayoutTag_MPEG_5_1_D}));
  EXPECT_TRUE(CMFormatDescription::makeAudio(pcm16(48000, 6), AudioChannelLayout{kAudioChannelLayoutTag_MPEG_5_1_D}));

  const AudioStreamBasicDescription aac{44100, kAudioFormatMPEG4AAC, 2, 0, 1024, 0, 2, 0};
  const auto made = CMFormatDescription::makeAudio(aac, std::nullopt, {0x12, 0x10});
  ASSERT_TRUE(made);
  EXPECT_EQ(made.value->mediaType(), kCMMediaType_Audio);
  EXPECT_EQ(made.value->mediaSubType(), kAudioFormatMPEG4AAC);
  EXPECT_EQ(*made.value->audioStreamBasicDescription(), aac);
  EXPECT_EQ(made.value->magicCookie(), (Bytes{0x12, 0x10}));
}

TEST(CMFormatDescriptionTests, EqualWhenEveryPartIsEqual) {
  const auto first = CMFormatDescription::makeAudio(pcm16(48000, 2)).value;
  const auto second = CMFormatDescription::makeAudio(pcm16(48000, 2)).value;
  const auto otherRate = CMFormatDescription::makeAudio(pcm16(44100, 2)).value;
  const auto withCookie = CMFormatDescription::makeAudio(pcm16(48000, 2), std::nullopt, {1}).value;
  EXPECT_TRUE(equalFormatDescriptions(first, second));
  EXPECT_FALSE(equalFormatDescriptions(first, otherRate));
  EXPECT_FALSE(equalFormatDescriptions(first, withCookie));
  EXPECT_FALSE(equalFormatDescriptions(first, nullptr));
  EXPECT_TRUE(equalFormatDescriptions(nullptr, nullptr));

  const auto frame = CVPixelBuffer::make(1280, 720, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange).value;
  const auto otherFrame = CVPixelBuffer::make(1280, 720, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange).value;
  const auto bgra = CVPixelBuffer::make(1280, 720, kCVPixelFormatType_32BGRA).value;
  const auto video = CMFormatDescription::makeForImageBuffer(*frame).value;
  EXPECT_EQ(video->mediaSubType(), kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
  EXPECT_TRUE(equalFormatDescriptions(video, CMFormatDescription::makeForImageBuffer(*otherFrame).value));
  EXPECT_FALSE(equalFormatDescriptions(video, CMFormatDescription::makeForImageBuffer(*bgra).value));
}
