#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "Platform/CoreMedia/CMSampleBuffer.hpp"

using namespace platform;

namespace {

std::shared_ptr<const CMFormatDescription> pcm16(std::uint32_t channels, bool interleaved) {
  const std::uint32_t frameBytes = interleaved ? 2 * channels : 2;
  AudioFormatFlags flags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
  if (!interleaved) flags |= kAudioFormatFlagIsNonInterleaved;
  return CMFormatDescription::makeAudio({48000, kAudioFormatLinearPCM, flags, frameBytes, 1, frameBytes, channels, 16})
      .value;
}

std::shared_ptr<const CMFormatDescription> h264() {
  return CMFormatDescription::makeVideo(kCMVideoCodecType_H264, {1280, 720}).value;
}

}  // namespace

TEST(CMSampleBufferTests, DerivesPerSampleTimingFromOneEntry) {
  const auto data = CMBlockBuffer::make(30).value;
  const CMSampleTimingInfo timing{CMTime::make(1, 30), CMTime::make(10, 1), CMTime::make(9, 1)};
  const std::size_t size = 10;
  const auto buffer = CMSampleBuffer::make(data, true, h264(), 3, {&timing, 1}, {&size, 1}).value;
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer->presentationTimeStamp(), CMTime::make(10, 1));
  EXPECT_EQ(buffer->decodeTimeStamp(), CMTime::make(9, 1));
  EXPECT_EQ(buffer->duration(), CMTime::make(1, 10));
  EXPECT_EQ(buffer->sampleTimingInfo(2)->presentationTimeStamp, CMTime::make(302, 30));
  EXPECT_FALSE(buffer->sampleTimingInfo(3));
  EXPECT_EQ(buffer->sampleSize(2), 10u);
  EXPECT_EQ(buffer->totalSampleSize(), 30u);
}

TEST(CMSampleBufferTests, PresentationTimeIsTheEarliestOfItsSamples) {
  // Samples in decode order, presented out of order (B-frames).
  const std::array<CMSampleTimingInfo, 3> timings{{{CMTime::make(1, 30), CMTime::make(2, 30), CMTime::make(0, 30)},
                                                   {CMTime::make(1, 30), CMTime::make(0, 30), CMTime::make(1, 30)},
                                                   {CMTime::make(1, 30), CMTime::make(1, 30), CMTime::invalid}}};
  const std::array<std::size_t, 3> sizes{4, 5, 6};
  const auto buffer = CMSampleBuffer::make(CMBlockBuffer::make(15).value, true, h264(), 3, timings, sizes).value;
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer->presentationTimeStamp(), CMTime::zero);
  EXPECT_EQ(buffer->decodeTimeStamp(), CMTime::zero);
  EXPECT_EQ(buffer->duration(), CMTime::make(1, 10));
  EXPECT_EQ(buffer->sampleSize(1), 5u);
}

TEST(CMSampleBufferTests, RefusesInconsistentSamples) {
  const CMSampleTimingInfo timing{};
  const std::array<std::size_t, 2> sizes{10, 10};
  EXPECT_EQ(CMSampleBuffer::make(CMBlockBuffer::make(19).value, true, h264(), 2, {&timing, 1}, sizes).status,
            kCMSampleBufferError_InvalidSampleData);
  EXPECT_EQ(CMSampleBuffer::make(CMBlockBuffer::make(20).value, true, h264(), 3, {&timing, 1}, sizes).status,
            kCMSampleBufferError_InvalidEntryCount);
  EXPECT_EQ(CMSampleBuffer::make(nullptr, true, h264(), 1, {}, {}).status,
            kCMSampleBufferError_RequiredParameterMissing);
  const std::size_t huge = std::size_t(1) << 62;
  EXPECT_FALSE(CMSampleBuffer::make(CMBlockBuffer::make(8).value, true, h264(), 8, {}, {&huge, 1}));
}

TEST(CMSampleBufferTests, CreatesSampleAttachmentsOnDemand) {
  const std::size_t size = 4;
  const auto buffer = CMSampleBuffer::make(CMBlockBuffer::make(8).value, true, h264(), 2, {}, {&size, 1}).value;
  EXPECT_TRUE(buffer->sampleAttachments().empty());
  auto& attachments = buffer->mutableSampleAttachments();
  ASSERT_EQ(attachments.size(), 2u);
  attachments[0][CMSampleAttachmentKey::notSync] = std::int64_t{1};
  attachments[1][CMSampleAttachmentKey::dependsOnOthers] = false;
  // Made once: a second request keeps what was set.
  EXPECT_EQ(&buffer->mutableSampleAttachments(), &attachments);
  EXPECT_TRUE(isTrue(buffer->sampleAttachments()[0].at(CMSampleAttachmentKey::notSync)));
  EXPECT_FALSE(isTrue(buffer->sampleAttachments()[1].at(CMSampleAttachmentKey::dependsOnOthers)));
  EXPECT_FALSE(isTrue(std::int64_t{0}));
}

TEST(CMSampleBufferTests, CarriesAPictureWithoutCopyingIt) {
  const auto picture = CVPixelBuffer::make(1280, 720, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange).value;
  const auto format = CMFormatDescription::makeForImageBuffer(*picture).value;
  const CMSampleTimingInfo timing{CMTime::make(1, 30), CMTime::make(1, 30), CMTime::invalid};
  const auto buffer = CMSampleBuffer::makeReadyWithImageBuffer(picture, format, timing).value;
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer->imageBuffer(), picture);
  EXPECT_EQ(buffer->imageBuffer()->baseAddress(), picture->baseAddress());
  EXPECT_TRUE(buffer->dataIsReady());
  EXPECT_EQ(buffer->numSamples(), 1u);
  EXPECT_EQ(buffer->dataBuffer(), nullptr);

  const auto otherSize = CMFormatDescription::makeVideo(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, {640, 480}).value;
  EXPECT_EQ(CMSampleBuffer::makeReadyWithImageBuffer(picture, otherSize, timing).status,
            kCMSampleBufferError_InvalidMediaFormat);
  EXPECT_EQ(CMSampleBuffer::makeReadyWithImageBuffer(picture, nullptr, timing).status,
            kCMSampleBufferError_RequiredParameterMissing);

  // Made in place: the same buffer, and one that fails leaves what was there.
  std::optional<CMSampleBuffer> inPlace;
  const CMSampleTimingInfo later{CMTime::make(1, 30), CMTime::make(2, 30), CMTime::invalid};
  ASSERT_EQ(CMSampleBuffer::makeReadyWithImageBuffer(picture, format, later, inPlace), noErr);
  ASSERT_TRUE(inPlace);
  EXPECT_EQ(inPlace->imageBuffer(), picture);
  EXPECT_EQ(inPlace->sampleTimingInfo(0), later);
  const CMSampleBuffer copy = *inPlace;
  EXPECT_EQ(copy.presentationTimeStamp(), CMTime::make(2, 30));
  EXPECT_EQ(copy.duration(), CMTime::make(1, 30));
  EXPECT_EQ(CMSampleBuffer::makeReadyWithImageBuffer(picture, otherSize, timing, inPlace),
            kCMSampleBufferError_InvalidMediaFormat);
  EXPECT_EQ(CMSampleBuffer::makeReadyWithImageBuffer(nullptr, format, timing, inPlace),
            kCMSampleBufferError_RequiredParameterMissing);
  EXPECT_EQ(inPlace->presentationTimeStamp(), CMTime::make(2, 30));
}

TEST(CMSampleBufferTests, AttachesAndCopiesOutNonInterleavedPCM) {
  const auto buffer = CMSampleBuffer::makeAudio(pcm16(2, false), 4, CMTime::make(48000, 48000)).value;
  ASSERT_NE(buffer, nullptr);
  EXPECT_FALSE(buffer->dataIsReady());
  EXPECT_EQ(buffer->duration(), CMTime::make(4, 48000));
  EXPECT_EQ(buffer->totalSampleSize(), 16u);

  const std::array<std::uint8_t, 8> left{1, 2, 3, 4, 5, 6, 7, 8};
  const std::array<std::uint8_t, 8> right{11, 12, 13, 14, 15, 16, 17, 18};
  const std::span<const std::uint8_t> channels[] = {left, right};
  std::vector<std::span<std::uint8_t>> none;
  EXPECT_EQ(buffer->copyPCMDataIntoAudioBuffers(0, 4, none), kCMSampleBufferError_BufferNotReady);
  ASSERT_EQ(buffer->setDataBufferFromAudioBuffers(channels), noErr);
  EXPECT_TRUE(buffer->dataIsReady());
  EXPECT_EQ(buffer->setDataBufferFromAudioBuffers(channels), kCMSampleBufferError_AlreadyHasDataBuffer);

  std::array<std::uint8_t, 4> outLeft{};
  std::array<std::uint8_t, 4> outRight{};
  const std::span<std::uint8_t> destinations[] = {outLeft, outRight};
  ASSERT_EQ(buffer->copyPCMDataIntoAudioBuffers(1, 2, destinations), noErr);
  EXPECT_EQ(outLeft, (std::array<std::uint8_t, 4>{3, 4, 5, 6}));
  EXPECT_EQ(outRight, (std::array<std::uint8_t, 4>{13, 14, 15, 16}));
  // Out of range or too small a destination writes nothing.
  EXPECT_EQ(buffer->copyPCMDataIntoAudioBuffers(3, 2, destinations), kCMSampleBufferError_SampleIndexOutOfRange);
  EXPECT_EQ(buffer->copyPCMDataIntoAudioBuffers(0, 3, destinations), kCMSampleBufferError_ArrayTooSmall);
  EXPECT_EQ(outLeft, (std::array<std::uint8_t, 4>{3, 4, 5, 6}));
}

TEST(CMSampleBufferTests, RefusesPCMThatDoesNotMatchTheFormat) {
  const auto buffer = CMSampleBuffer::makeAudio(pcm16(2, true), 4, CMTime::zero).value;
  const std::array<std::uint8_t, 15> shortData{};
  const std::span<const std::uint8_t> one[] = {shortData};
  const std::span<const std::uint8_t> two[] = {shortData, shortData};
  EXPECT_EQ(buffer->setDataBufferFromAudioBuffers(one), kCMSampleBufferError_ArrayTooSmall);
  EXPECT_EQ(buffer->setDataBufferFromAudioBuffers(two), kCMSampleBufferError_InvalidEntryCount);
  EXPECT_FALSE(buffer->dataIsReady());

  EXPECT_EQ(CMSampleBuffer::makeAudio(h264(), 4, CMTime::zero).status, kCMSampleBufferError_InvalidMediaTypeForOperation);
  EXPECT_EQ(CMSampleBuffer::makeAudio(pcm16(2, true), 0, CMTime::zero).status, kCMSampleBufferError_InvalidEntryCount);
  EXPECT_EQ(CMSampleBuffer::makeAudio(pcm16(2, true), std::size_t(1) << 62, CMTime::zero).status,
            kCMSampleBufferError_InvalidEntryCount);
}
