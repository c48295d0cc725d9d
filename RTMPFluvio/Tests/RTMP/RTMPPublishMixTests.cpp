// The messages a publishing session exchanges, byte for byte as the AMF0
// format lays them out, and read back to the same values.
#include <gtest/gtest.h>

#include <string_view>

#include "RTMPFluvio/Sources/RTMP/RTMPCommandMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPDataMessage.hpp"
#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPMessageTestSupport.hpp"

namespace rtmpfluvio {
namespace {

using testing::Bytes;
using testing::decodedAs;

constexpr auto kAMF0 = RTMPObjectEncoding::amf0;

Bytes fromHex(std::string_view hex) {
  Bytes bytes;
  for (std::size_t index = 0; index + 1 < hex.size(); index += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(index, 2)), nullptr, 16)));
  }
  return bytes;
}

const Bytes kConnectPayload = fromHex(
    "020007636f6e6e656374003ff00000000000000300036170700200046c6976650008666c617368566572020021466c75"
    "76696f2f312e302028636f6d70617469626c653b2052544d502f312e30290005746355726c02001a72746d703a2f2f31"
    "32372e302e302e313a313933352f6c6976650004667061640100000c6361706162696c697469657300406de000000000"
    "00000b617564696f436f64656373004090000000000000000b766964656f436f64656373004060000000000000000d76"
    "6964656f46756e6374696f6e003ff0000000000000000e6f626a656374456e636f64696e670000000000000000000000"
    "09");

const Bytes kOnStatusPayload = fromHex(
    "0200086f6e537461747573000000000000000000050300056c6576656c0200067374617475730004636f64650200174e"
    "657453747265616d2e5075626c6973682e5374617274000b6465736372697074696f6e02001a53746172746564207075"
    "626c697368696e672073747265616d2e000764657461696c7302000673747265616d000009");

const Bytes kMetadataPayload = fromHex(
    "02000d40736574446174614672616d6502000a6f6e4d65746144617461080000000000086475726174696f6e00000000"
    "0000000000000577696474680040940000000000000006686569676874004086800000000000000c766964656f636f64"
    "6563696400401c000000000000000d766964656f64617461726174650040a130000000000000096672616d6572617465"
    "00403e0000000000000017766964656f6b65796672616d655f6672657175656e6379004000000000000000000c617564"
    "696f636f6465636964004024000000000000000d617564696f6461746172617465004060000000000000000f61756469"
    "6f73616d706c65726174650040e5888000000000000f617564696f73616d706c6573697a65004030000000000000000d"
    "617564696f6368616e6e656c73004000000000000000000673746572656f0101000866696c6573697a65000000000000"
    "0000000007656e636f64657202000a466c7576696f20312e30000009");

TEST(RTMPPublishMixTests, EncodesEachMessageByteForByteAndReadsItBack) {
  // Numbers read back as doubles, so the values are doubles already.
  const AMFObject connectObject{
      {"app", "live"},
      {"flashVer", "Fluvio/1.0 (compatible; RTMP/1.0)"},
      {"tcUrl", "rtmp://127.0.0.1:1935/live"},
      {"fpad", false},
      {"capabilities", 239.0},
      {"audioCodecs", 1024.0},
      {"videoCodecs", 128.0},
      {"videoFunction", 1.0},
      {"objectEncoding", 0.0},
  };
  const AMFObject status{
      {"level", "status"},
      {"code", "NetStream.Publish.Start"},
      {"description", "Started publishing stream."},
      {"details", "stream"},
  };
  AMFArray metadata;
  metadata.dict = AMFObject{
      {"duration", 0.0},         {"width", 1280.0},        {"height", 720.0},
      {"videocodecid", 7.0},     {"videodatarate", 2200.0},  {"framerate", 30.0},
      {"videokeyframe_frequency", 2.0}, {"audiocodecid", 10.0}, {"audiodatarate", 128.0},
      {"audiosamplerate", 44100.0}, {"audiosamplesize", 16.0}, {"audiochannels", 2.0},
      {"stereo", true},        {"filesize", 0.0},          {"encoder", "Fluvio 1.0"},
  };

  const RTMPCommandMessage connect(0, 0, kAMF0, "connect", 1, connectObject, {});
  const RTMPCommandMessage onStatus(1, 0, kAMF0, "onStatus", 0, std::nullopt, {status});
  const RTMPDataMessage setDataFrame(1, 0, kAMF0, "@setDataFrame", {"onMetaData", metadata});
  EXPECT_EQ(connect.payload(), kConnectPayload);
  EXPECT_EQ(onStatus.payload(), kOnStatusPayload);
  EXPECT_EQ(setDataFrame.payload(), kMetadataPayload);

  const auto connectRead = decodedAs<RTMPCommandMessage>(20, connect.payload());
  ASSERT_TRUE(connectRead);
  EXPECT_EQ(connectRead->commandName(), "connect");
  EXPECT_EQ(*connectRead->commandObject(), connectObject);
  const auto statusRead = decodedAs<RTMPCommandMessage>(20, onStatus.payload());
  ASSERT_TRUE(statusRead);
  EXPECT_EQ(statusRead->arguments(), (AMFList{status}));
  const auto metadataRead = decodedAs<RTMPDataMessage>(18, setDataFrame.payload());
  ASSERT_TRUE(metadataRead);
  ASSERT_EQ(metadataRead->arguments().size(), 2u);
  EXPECT_EQ(*metadataRead->arguments()[1].as<AMFArray>(), metadata);
  EXPECT_EQ(metadataRead->payload(), kMetadataPayload);
}

}  // namespace
}  // namespace rtmpfluvio
