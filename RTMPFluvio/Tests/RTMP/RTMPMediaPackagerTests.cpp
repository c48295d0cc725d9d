#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPMediaPackager.hpp"
#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPStreamTestMedia.hpp"

namespace rtmpfluvio {
namespace {

using platform::CMTime;
using testing::Bytes;
using testing::concatenated;

// One message as the connection would be handed it.
struct Sent {
  RTMPChunkType chunkType;
  RTMPChunkStreamId chunkStreamId;
  std::uint32_t timestamp;
  std::uint32_t streamId;
  Bytes payload;

  bool operator==(const Sent&) const = default;
};

void PrintTo(const Sent& sent, std::ostream* stream) {
  *stream << "{type " << static_cast<int>(sent.chunkType) << ", csid " << rawValue(sent.chunkStreamId) << ", ts "
          << sent.timestamp << ", msid " << sent.streamId << ", " << sent.payload.size() << " bytes}";
}

std::vector<Sent> sentOf(const RTMPMediaPackage& package) {
  std::vector<Sent> sent;
  for (const auto* media : {&package.sequenceHeader, &package.body}) {
    if (!*media) continue;
    std::visit(
        [&](const auto& message) {
          sent.push_back({(*media)->chunkType, (*media)->chunkStreamId, message.timestamp(), message.streamId(),
                          message.payload()});
        },
        (*media)->message);
  }
  return sent;
}

Bytes avcSequenceHeader() { return concatenated({{0x17, 0x00, 0x00, 0x00, 0x00}, testing::kAVCC}); }
Bytes keyFrameBody() { return concatenated({{0x17, 0x01, 0x00, 0x00, 0x00}, testing::kEncodedFrame}); }

RTMPMediaPackager publishingPackager(std::uint32_t streamId = 1) {
  RTMPMediaPackager packager;
  packager.setStreamId(streamId);
  packager.setPublishing(true);
  return packager;
}

TEST(RTMPMediaPackagerTests, VideoStartsWithAFullSequenceHeaderThenDeltas) {
  auto packager = publishingPackager(7);
  const auto first = sentOf(packager.package(testing::encodedFrameAt(1.0)));
  EXPECT_EQ(first, (std::vector<Sent>{{RTMPChunkType::zero, RTMPChunkStreamId::video, 0, 7, avcSequenceHeader()},
                                      {RTMPChunkType::one, RTMPChunkStreamId::video, 0, 7, keyFrameBody()}}));
  EXPECT_EQ(sentOf(packager.package(testing::encodedFrameAt(1.5))),
            (std::vector<Sent>{{RTMPChunkType::one, RTMPChunkStreamId::video, 500, 7, keyFrameBody()}}));
  // Without a decode time the presentation time counts.
  const auto presented = testing::encodedFrame(testing::h264Description(), CMTime::invalid, CMTime::make(1625, 1000));
  EXPECT_EQ(sentOf(packager.package(presented)),
            (std::vector<Sent>{{RTMPChunkType::one, RTMPChunkStreamId::video, 125, 7, keyFrameBody()}}));
  EXPECT_EQ(packager.takeFrameCount(), 3);
}

TEST(RTMPMediaPackagerTests, ReorderedFramesAreTimedByDecodeAndCarryTheirPresentationOffset) {
  struct Frame {
    int decodeMs, presentMs;
    bool isKeyFrame;
    std::uint32_t timestamp, compositionMs;
  };
  // I P B B: presentation runs ahead of decode and out of order. Times in
  // eighths of a second stay exact in binary.
  const Frame frames[] = {
      {1000, 1250, true, 0, 250},
      {1125, 1750, false, 125, 625},
      {1375, 1500, false, 250, 125},
      {1500, 1625, false, 125, 125},
  };
  auto packager = publishingPackager();
  for (const Frame& frame : frames) {
    const auto sent = sentOf(packager.package(testing::encodedFrame(testing::h264Description(),
                                                                    CMTime::make(frame.decodeMs, 1000),
                                                                    CMTime::make(frame.presentMs, 1000),
                                                                    frame.isKeyFrame)));
    ASSERT_FALSE(sent.empty()) << "frame decoded at " << frame.decodeMs << " was dropped";
    const Sent& body = sent.back();
    EXPECT_EQ(body.timestamp, frame.timestamp) << frame.decodeMs;
    ASSERT_GE(body.payload.size(), 5u);
    EXPECT_EQ(body.payload[0], frame.isKeyFrame ? 0x17 : 0x27);
    EXPECT_EQ(body.payload[1], 0x01) << "a coded frame";
    EXPECT_EQ(std::uint32_t{body.payload[2]} << 16 | body.payload[3] << 8 | body.payload[4], frame.compositionMs)
        << frame.decodeMs;
  }
  EXPECT_EQ(packager.takeFrameCount(), 4);
}

TEST(RTMPMediaPackagerTests, TimesThatDoNotAdvanceAreDroppedUncounted) {
  auto packager = publishingPackager();
  ASSERT_EQ(sentOf(packager.package(testing::encodedFrameAt(2.0))).size(), 2u);
  EXPECT_TRUE(sentOf(packager.package(testing::encodedFrameAt(2.0))).empty());
  EXPECT_TRUE(sentOf(packager.package(testing::encodedFrameAt(1.9))).empty());
  // Measured from the last accepted time, not from the dropped ones.
  const auto next = sentOf(packager.package(testing::encodedFrameAt(2.04)));
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0].timestamp, 40u);
  EXPECT_EQ(packager.takeFrameCount(), 2);
  EXPECT_EQ(packager.takeFrameCount(), 0);

  auto audio = publishingPackager();
  ASSERT_EQ(sentOf(audio.package(testing::aacPacket(48000, 2), *testing::audioTimeAt(3.0))).size(), 2u);
  EXPECT_TRUE(sentOf(audio.package(testing::aacPacket(48000, 2), *testing::audioTimeAt(3.0))).empty());
}

TEST(RTMPMediaPackagerTests, AFormatChangeSendsOneDeltaHeaderAndEqualFormatsNone) {
  auto packager = publishingPackager();
  packager.package(testing::encodedFrameAt(1.0));
  // An equal description made anew is no change.
  EXPECT_EQ(sentOf(packager.package(testing::encodedFrameAt(1.25, testing::h264Description()))).size(), 1u);
  const auto changed = sentOf(packager.package(testing::encodedFrameAt(1.375, testing::hevcDescription())));
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_EQ(changed[0].chunkType, RTMPChunkType::one);
  EXPECT_EQ(changed[0].timestamp, 0u);
  EXPECT_EQ(Bytes(changed[0].payload.begin(), changed[0].payload.begin() + 5), (Bytes{0x90, 'h', 'v', 'c', '1'}));
  EXPECT_EQ(changed[1].chunkType, RTMPChunkType::one);
  EXPECT_EQ(changed[1].timestamp, 125u);

  auto audio = publishingPackager();
  audio.package(testing::aacPacket(48000, 2), *testing::audioTimeAt(1.0));
  EXPECT_EQ(sentOf(audio.package(testing::aacPacket(48000, 2), *testing::audioTimeAt(1.02))).size(), 1u);
  const auto resampled = sentOf(audio.package(testing::aacPacket(44100, 2), *testing::audioTimeAt(1.04)));
  ASSERT_EQ(resampled.size(), 2u);
  EXPECT_EQ(resampled[0], (Sent{RTMPChunkType::one, RTMPChunkStreamId::audio, 0, 1, {0xAF, 0x00, 0x12, 0x10}}));
}

TEST(RTMPMediaPackagerTests, AudioCarriesItsHeaderThenFramesTimedByHostClock) {
  auto packager = publishingPackager(3);
  EXPECT_EQ(sentOf(packager.package(testing::aacPacket(48000, 2), *testing::audioTimeAt(10.0))),
            (std::vector<Sent>{{RTMPChunkType::zero, RTMPChunkStreamId::audio, 0, 3, {0xAF, 0x00, 0x11, 0x90}},
                               {RTMPChunkType::one, RTMPChunkStreamId::audio, 0, 3, {0xAF, 0x01, 0x21, 0x21, 0x21, 0x21}}}));
  // 1,024 frames at 48 kHz are 21.33 ms: the fractions are paid out.
  std::vector<std::uint32_t> deltas;
  for (int packet = 1; packet <= 3; ++packet) {
    const auto sent = sentOf(packager.package(testing::aacPacket(48000, 2, 0x22),
                                              *testing::audioTimeAt(10.0 + packet * 1024.0 / 48000.0)));
    ASSERT_EQ(sent.size(), 1u);
    deltas.push_back(sent[0].timestamp);
  }
  EXPECT_EQ(deltas, (std::vector<std::uint32_t>{21, 21, 22}));
}

TEST(RTMPMediaPackagerTests, HeadersOnlyWhilePublishingAndAgainAfterAReset) {
  RTMPMediaPackager idle;
  const auto bodies = sentOf(idle.package(testing::encodedFrameAt(1.0)));
  ASSERT_EQ(bodies.size(), 1u);
  EXPECT_EQ(bodies[0].payload, keyFrameBody());

  auto packager = publishingPackager();
  packager.package(testing::encodedFrameAt(50.0));
  packager.package(testing::aacPacket(48000, 2), *testing::audioTimeAt(50.0));
  packager.reset();
  // A second publication starts over: full headers and delta 0, even at an earlier time.
  const auto video = sentOf(packager.package(testing::encodedFrameAt(5.0)));
  ASSERT_EQ(video.size(), 2u);
  EXPECT_EQ(video[0].chunkType, RTMPChunkType::zero);
  EXPECT_EQ(video[1].timestamp, 0u);
  const auto audio = sentOf(packager.package(testing::aacPacket(48000, 2), *testing::audioTimeAt(5.0)));
  ASSERT_EQ(audio.size(), 2u);
  EXPECT_EQ(audio[0].chunkType, RTMPChunkType::zero);
  EXPECT_EQ(audio[1].timestamp, 0u);
}

TEST(RTMPMediaPackagerTests, FrameCountSaturates) {
  RTMPMediaPackager packager;
  for (int frame = 0; frame < 65537; ++frame) packager.package(testing::encodedFrameAt(1.0 + frame / 1000.0));
  EXPECT_EQ(packager.takeFrameCount(), 65535);
}

}  // namespace
}  // namespace rtmpfluvio
