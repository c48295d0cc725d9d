#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Fluvio/Tests/Stream/StreamTestMedia.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"
#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPDataMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamMetadata.hpp"

namespace rtmpfluvio {
namespace {

using fluvio::AudioCodecFormat;
using fluvio::AudioCodecSettings;
using fluvio::VideoCodecSettings;

std::vector<std::string> keysOf(const AMFArray& metadata) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : metadata.dict) keys.push_back(key);
  return keys;
}

void feedRawMedia(fluvio::OutgoingStream& outgoing, double sampleRate) {
  outgoing.append(fluvio::testing::rawVideoFrame(0, platform::CMTime::make(1, 30)));
  const auto format = platform::AVAudioFormat::makeStandard(sampleRate, 2);
  outgoing.append(fluvio::testing::toneBuffer(format, 1024, 0), fluvio::testing::audioTime(1'000'000, 0, sampleRate));
}

TEST(RTMPStreamMetadataTests, DescribesTheRawInputsWithTheEncoderSettings) {
  struct Row {
    const char* name;
    VideoCodecSettings video;
    AudioCodecSettings audio;
    double inputSampleRate;
    AMFArray expected;
  };
  AMFArray h264Aac;
  h264Aac.dict = {{"duration", 0},          {"width", 1280.0},       {"height", 720.0},
                  {"videocodecid", 7},      {"videodatarate", 2200}, {"audiocodecid", 10},
                  {"audiodatarate", 128},   {"audiosamplerate", 48000.0}};
  AMFArray hevcOpus;
  // Opus takes its nearest rate; the frame rate appears once it is set.
  hevcOpus.dict = {{"duration", 0},           {"width", 640.0},         {"height", 360.0},
                   {"videocodecid", 0x68766331}, {"videodatarate", 999}, {"framerate", 29.97},
                   {"audiocodecid", 0x4F707573}, {"audiodatarate", 64}, {"audiosamplerate", 48000.0}};
  const Row rows[] = {
      {"H.264 + AAC", VideoCodecSettings({1280, 720}, 2'200'000), AudioCodecSettings(128'000), 48000, h264Aac},
      {"HEVC + Opus",
       VideoCodecSettings({640, 360}, 999'999, std::string(platform::kVTProfileLevel_HEVC_Main_AutoLevel),
                          VideoCodecSettings::ScalingMode::trim, VideoCodecSettings::BitRateMode::average(), 2,
                          std::nullopt, std::vector<double>{0, 0}, false, true, 29.97),
       AudioCodecSettings(64'000, true, std::nullopt, 0, AudioCodecFormat::opus), 44100, hevcOpus},
  };
  for (const auto& row : rows) {
    auto outgoing = fluvio::OutgoingStream::make();
    outgoing->setVideoSettings(row.video);
    outgoing->setAudioSettings(row.audio);
    feedRawMedia(*outgoing, row.inputSampleRate);
    const auto metadata = makeMetadata(*outgoing);
    EXPECT_EQ(metadata, row.expected) << row.name;
    EXPECT_EQ(keysOf(metadata), keysOf(row.expected)) << row.name;
    EXPECT_TRUE(metadata.data.empty());
  }
}

TEST(RTMPStreamMetadataTests, LeavesOutWhatHasNoRawInputYet) {
  auto outgoing = fluvio::OutgoingStream::make();
  EXPECT_EQ(keysOf(makeMetadata(*outgoing)), std::vector<std::string>{"duration"});
  outgoing->append(fluvio::testing::rawVideoFrame(0, platform::CMTime::make(1, 30)));
  EXPECT_EQ(keysOf(makeMetadata(*outgoing)),
            (std::vector<std::string>{"duration", "width", "height", "videocodecid", "videodatarate"}));
}

TEST(RTMPStreamMetadataTests, TravelsAsSetDataFrameAndReadsBack) {
  AMFArray metadata;
  metadata.dict = {{"duration", 0}, {"width", 2.0}};
  const RTMPDataMessage message(1, 0, RTMPObjectEncoding::amf0, "@setDataFrame", {"onMetaData", metadata});
  const std::vector<std::uint8_t> prefix = {0x02, 0x00, 0x0D, '@', 's', 'e', 't', 'D', 'a', 't', 'a', 'F', 'r', 'a',
                                            'm', 'e', 0x02, 0x00, 0x0A, 'o', 'n', 'M', 'e', 't', 'a', 'D', 'a', 't',
                                            'a', 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 'd', 'u', 'r', 'a', 't',
                                            'i', 'o', 'n', 0x00};
  ASSERT_GE(message.payload().size(), prefix.size());
  EXPECT_EQ(std::vector<std::uint8_t>(message.payload().begin(), message.payload().begin() + prefix.size()), prefix);
  EXPECT_EQ(std::vector<std::uint8_t>(message.payload().end() - 3, message.payload().end()),
            (std::vector<std::uint8_t>{0x00, 0x00, 0x09}));

  RTMPChunkMessageHeader header;
  header.messageTypeId = rawValue(message.type());
  header.messageStreamId = 1;
  header.payload = message.payload();
  header.messageLength = header.position = header.payload.size();
  const auto decoded = RTMPDataMessage::decode(header, RTMPObjectEncoding::amf0);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->handlerName(), "@setDataFrame");
  // Numbers come back as doubles, whatever width they were written from.
  AMFArray readBack;
  readBack.dict = {{"duration", 0.0}, {"width", 2.0}};
  EXPECT_EQ(decoded->arguments(), (AMFList{"onMetaData", readBack}));
}

}  // namespace
}  // namespace rtmpfluvio
