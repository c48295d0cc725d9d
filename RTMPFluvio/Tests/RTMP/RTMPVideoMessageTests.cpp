#include <gtest/gtest.h>

#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "RTMPFluvio/Sources/Codec/ConfigurationBox.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"
#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"
#include "RTMPFluvio/Tests/Codec/ParameterSetFixtures.hpp"

namespace rtmpfluvio {
namespace {

using platform::CMTime;
using testing::Bytes;
using testing::concatenated;

const Bytes kHVC1{'h', 'v', 'c', '1'};
const Bytes kFrame{0x00, 0x00, 0x00, 0x02, 0x65, 0x88};

std::shared_ptr<const platform::CMFormatDescription> h264Description() {
  const std::span<const std::uint8_t> sets[] = {testing::kH264SPS, testing::kH264PPS};
  return platform::CMFormatDescription::makeFromH264ParameterSets(sets, 4).value;
}

std::shared_ptr<const platform::CMFormatDescription> hevcDescription() {
  const std::span<const std::uint8_t> sets[] = {testing::kHEVCVPS, testing::kHEVCSPS, testing::kHEVCPPS};
  return platform::CMFormatDescription::makeFromHEVCParameterSets(sets, 4).value;
}

std::shared_ptr<platform::CMSampleBuffer> frame(const std::shared_ptr<const platform::CMFormatDescription>& description,
                                                CMTime presentation, CMTime decode) {
  const std::size_t size = kFrame.size();
  const platform::CMSampleTimingInfo timing{CMTime::invalid, presentation, decode};
  return platform::CMSampleBuffer::make(platform::CMBlockBuffer::make(Bytes(kFrame)), true, description, 1,
                                        {&timing, 1}, {&size, 1})
      .value;
}

RTMPVideoMessage received(Bytes payload) { return RTMPVideoMessage(1, 0, std::move(payload)); }

TEST(RTMPVideoMessageTests, SequenceHeadersCarryTheDescriptionsRecord) {
  const auto h264 = h264Description();
  const auto avc = RTMPVideoMessage::make(1, 0, h264);
  ASSERT_TRUE(avc);
  const auto avcRecord = configurationBox(*h264);
  ASSERT_TRUE(avcRecord);
  EXPECT_EQ(avc->payload(), concatenated({{0x17, 0x00, 0x00, 0x00, 0x00}, Bytes(avcRecord->begin(), avcRecord->end())}));

  const auto hevc = hevcDescription();
  const auto hvc = RTMPVideoMessage::make(1, 0, hevc);
  ASSERT_TRUE(hvc);
  const auto hevcRecord = configurationBox(*hevc);
  ASSERT_TRUE(hevcRecord);
  EXPECT_EQ(hvc->payload(), concatenated({{0x90}, kHVC1, Bytes(hevcRecord->begin(), hevcRecord->end())}));

  const auto pixels = platform::CMFormatDescription::makeVideo(platform::fourCC("BGRA"), {2, 2}).value;
  EXPECT_FALSE(RTMPVideoMessage::make(1, 0, pixels));
  EXPECT_FALSE(RTMPVideoMessage::make(1, 0, std::shared_ptr<const platform::CMFormatDescription>()));
  // H.264 without its record.
  EXPECT_FALSE(RTMPVideoMessage::make(1, 0, platform::CMFormatDescription::makeVideo(platform::kCMVideoCodecType_H264, {2, 2}).value));
}

TEST(RTMPVideoMessageTests, FramesCarryFrameTypeAndPresentationMinusDecodeTime) {
  const auto h264 = h264Description();
  const CMTime second = CMTime::make(1000, 1000);
  const auto key = frame(h264, second, second);
  const auto keyMessage = RTMPVideoMessage::make(1, 1000, key.get());
  ASSERT_TRUE(keyMessage);
  EXPECT_EQ(keyMessage->payload(), concatenated({{0x17, 0x01, 0x00, 0x00, 0x00}, kFrame}));

  const auto inter = frame(h264, second + CMTime::make(333, 10000), second);
  fluvio::setNotSync(*inter, true);
  EXPECT_EQ(RTMPVideoMessage::make(1, 0, inter.get())->payload(), concatenated({{0x27, 0x01, 0x00, 0x00, 0x21}, kFrame}));

  // A not-sync entry that says false is a key frame.
  inter->mutableSampleAttachments().front()[platform::CMSampleAttachmentKey::notSync] = false;
  EXPECT_EQ(RTMPVideoMessage::make(1, 0, inter.get())->payload()[0], 0x17);

  // No decode time, or presentation well before decoding: offset 0.
  EXPECT_EQ(RTMPVideoMessage::make(1, 0, frame(h264, second, CMTime::invalid).get())->payload(),
            concatenated({{0x17, 0x01, 0x00, 0x00, 0x00}, kFrame}));
  EXPECT_EQ(RTMPVideoMessage::make(1, 0, frame(h264, second, second + second).get())->payload()[4], 0x00);
  // Offsets beyond the 24-bit field stop at its largest value.
  const auto late = RTMPVideoMessage::make(1, 0, frame(h264, CMTime::make(100000, 1), second).get());
  EXPECT_EQ(Bytes(late->payload().begin() + 2, late->payload().begin() + 5), (Bytes{0x7F, 0xFF, 0xFF}));

  const auto hevcInter = frame(hevcDescription(), second + CMTime::make(1, 10), second);
  fluvio::setNotSync(*hevcInter, true);
  EXPECT_EQ(RTMPVideoMessage::make(1, 0, hevcInter.get())->payload(),
            concatenated({{0xA1}, kHVC1, {0x00, 0x00, 0x64}, kFrame}));
  EXPECT_EQ(RTMPVideoMessage::make(1, 0, frame(hevcDescription(), second, second).get())->payload()[0], 0x91);

  EXPECT_FALSE(RTMPVideoMessage::make(1, 0, nullptr));
  EXPECT_FALSE(RTMPVideoMessage::make(1, 0, frame(nullptr, second, second).get()));
}

TEST(RTMPVideoMessageTests, ReceivedHeadersAreReadWithinTheirBytes) {
  EXPECT_EQ(received(concatenated({{0x91}, kHVC1, {0x00, 0x00, 0x21}, kFrame})).compositionTime(), 33);
  EXPECT_EQ(received(concatenated({{0x93}, kHVC1, kFrame})).compositionTime(), 0);
  EXPECT_EQ(received({0x27, 0x01, 0xFF, 0xFF, 0xFF, 0x00}).compositionTime(), -1);
  EXPECT_EQ(received({0x27, 0x01, 0x80, 0x00, 0x00}).compositionTime(), -8388608);
  for (const Bytes& shortBody : {Bytes{}, Bytes{0x27, 0x01, 0x00}, Bytes{0x91, 'h', 'v', 'c', '1', 0x00}}) {
    EXPECT_EQ(received(shortBody).compositionTime(), 0);
    EXPECT_FALSE(received(shortBody).makeFormatDescription());
    EXPECT_FALSE(received(shortBody).makeSampleBuffer(CMTime::zero, nullptr));
  }

  EXPECT_TRUE(received({0x17, 0x01}).isSupportedCodec());
  EXPECT_TRUE(received(concatenated({{0x90}, kHVC1})).isSupportedCodec());
  EXPECT_FALSE(received({0x12, 0x01}).isSupportedCodec());
  EXPECT_FALSE(received({0x1F, 0x01}).isSupportedCodec());  // codec id 15, not 7
  EXPECT_FALSE(received({0x90, 'a', 'v', '0', '1'}).isSupportedCodec());
  EXPECT_FALSE(received({0x90, 'h', 'v'}).isSupportedCodec());
  EXPECT_FALSE(received({}).isSupportedCodec());
}

TEST(RTMPVideoMessageTests, SequenceHeadersGiveBackTheirFormatDescription) {
  const auto avc = RTMPVideoMessage::make(1, 0, h264Description())->makeFormatDescription();
  ASSERT_TRUE(avc);
  EXPECT_EQ(avc->mediaSubType(), platform::kCMVideoCodecType_H264);
  EXPECT_EQ(avc->dimensions(), (platform::CMVideoDimensions{1920, 1080}));

  const auto hevc = RTMPVideoMessage::make(1, 0, hevcDescription())->makeFormatDescription();
  ASSERT_TRUE(hevc);
  EXPECT_EQ(hevc->mediaSubType(), platform::kCMVideoCodecType_HEVC);
  EXPECT_EQ(hevc->dimensions(), (platform::CMVideoDimensions{1280, 720}));

  // A record without picture parameter sets, and a codec we do not take.
  EXPECT_FALSE(received({0x17, 0x00, 0x00, 0x00, 0x00, 0x01, 0x64, 0x00, 0x28, 0xFF, 0xE0, 0x00}).makeFormatDescription());
  EXPECT_FALSE(received(concatenated({{0x12, 0x00, 0x00, 0x00, 0x00}, testing::kAVCC})).makeFormatDescription());
}

TEST(RTMPVideoMessageTests, FramesBecomeSampleBuffersAtTheirTimes) {
  const auto description = h264Description();
  const CMTime decode = CMTime::make(2000, 1000);
  const auto inter = received(concatenated({{0x27, 0x01, 0x00, 0x00, 0x21}, kFrame})).makeSampleBuffer(decode, description);
  ASSERT_TRUE(inter);
  EXPECT_EQ(inter->dataBuffer()->data().size(), kFrame.size());
  EXPECT_TRUE(std::equal(kFrame.begin(), kFrame.end(), inter->dataBuffer()->data().begin()));
  EXPECT_EQ(inter->presentationTimeStamp(), CMTime::make(2033, 1000));
  EXPECT_EQ(inter->decodeTimeStamp(), decode);
  EXPECT_TRUE(fluvio::isNotSync(*inter));
  EXPECT_EQ(inter->formatDescription(), description);

  const auto key = received(concatenated({{0x17, 0x01, 0x00, 0x00, 0x00}, kFrame})).makeSampleBuffer(decode, description);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->presentationTimeStamp(), decode);
  EXPECT_FALSE(key->decodeTimeStamp().isValid());
  EXPECT_FALSE(fluvio::isNotSync(*key));

  const auto enhanced = received(concatenated({{0x93}, kHVC1, kFrame})).makeSampleBuffer(decode, hevcDescription());
  ASSERT_TRUE(enhanced);
  EXPECT_EQ(enhanced->dataBuffer()->dataLength(), kFrame.size());
}

}  // namespace
}  // namespace rtmpfluvio
