#include <gtest/gtest.h>

#include "RTMPFluvio/Sources/RTMP/RTMPCommandMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPDataMessage.hpp"
#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPMessageTestSupport.hpp"

namespace rtmpfluvio {
namespace {

using testing::Bytes;
using testing::concatenated;
using testing::decodedAs;

const Bytes kOne = {0x00, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0};
const Bytes kTwo = {0x00, 0x40, 0x00, 0, 0, 0, 0, 0, 0};
const Bytes kObjectEnd = {0x00, 0x00, 0x09};
const Bytes kConnect = {0x02, 0x00, 0x07, 'c', 'o', 'n', 'n', 'e', 'c', 't'};

// The payload of connect(1, {app: "a"}, true, "x").
const Bytes kConnectPayload = concatenated({kConnect, kOne, {0x03, 0x00, 0x03, 'a', 'p', 'p', 0x02, 0x00, 0x01, 'a'},
                                            kObjectEnd, {0x01, 0x01}, {0x02, 0x00, 0x01, 'x'}});

RTMPCommandMessage connect(RTMPObjectEncoding encoding) {
  return RTMPCommandMessage(0, 0, encoding, "connect", 1, AMFObject{{"app", "a"}}, {true, "x"});
}

TEST(RTMPCommandMessageTests, CommandPayloadsAreAMF0WithALeadingZeroForAMF3) {
  EXPECT_EQ(connect(RTMPObjectEncoding::amf0).payload(), kConnectPayload);
  EXPECT_EQ(connect(RTMPObjectEncoding::amf0).type(), RTMPMessageType::amf0Command);
  EXPECT_EQ(connect(RTMPObjectEncoding::amf3).payload(), concatenated({{0x00}, kConnectPayload}));
  EXPECT_EQ(connect(RTMPObjectEncoding::amf3).type(), RTMPMessageType::amf3Command);

  // An absent command object is null; so is a null argument.
  const RTMPCommandMessage play(1, 0, RTMPObjectEncoding::amf0, "play", 2, std::nullopt, {AMFNull{}});
  EXPECT_EQ(play.payload(), concatenated({{0x02, 0x00, 0x04, 'p', 'l', 'a', 'y'}, kTwo, {0x05, 0x05}}));

  // Names of 65,536 bytes and more go as long strings.
  const RTMPCommandMessage longName(0, 0, RTMPObjectEncoding::amf0, std::string(65536, 'n'), 0, std::nullopt, {});
  EXPECT_EQ(Bytes(longName.payload().begin(), longName.payload().begin() + 5), (Bytes{0x0C, 0x00, 0x01, 0x00, 0x00}));
}

TEST(RTMPCommandMessageTests, ReceivedCommandsReadEveryField) {
  for (const auto& [typeId, payload] : {std::pair{std::uint8_t{20}, kConnectPayload},
                                        std::pair{std::uint8_t{17}, concatenated({{0x00}, kConnectPayload})}}) {
    const auto command = decodedAs<RTMPCommandMessage>(typeId, payload);
    ASSERT_TRUE(command) << int(typeId);
    EXPECT_EQ(command->commandName(), "connect");
    EXPECT_EQ(command->transactionId(), 1);
    EXPECT_EQ(command->commandObject(), (AMFObject{{"app", "a"}}));
    EXPECT_EQ(command->arguments(), (AMFList{true, "x"}));
    EXPECT_EQ(command->payload(), payload);
    EXPECT_EQ(command->streamId(), 1u);
    EXPECT_EQ(command->timestamp(), 1000u);
  }
}

TEST(RTMPCommandMessageTests, AFailingArgumentKeepsTheArgumentsBeforeIt) {
  // The second argument is a string whose bytes are missing.
  const auto command =
      decodedAs<RTMPCommandMessage>(20, concatenated({kConnect, kOne, {0x05}, kTwo, {0x02, 0x00, 0x09, 'x'}}));
  ASSERT_TRUE(command);
  EXPECT_EQ(command->arguments(), (AMFList{2.0}));
}

TEST(RTMPCommandMessageTests, CommandsWithoutTheirFixedFieldsGiveNoMessage) {
  EXPECT_FALSE(decodedAs<RTMPCommandMessage>(20, {}));
  EXPECT_FALSE(decodedAs<RTMPCommandMessage>(20, kConnect));                                    // no transaction id
  EXPECT_FALSE(decodedAs<RTMPCommandMessage>(20, concatenated({kConnect, {0x02, 0x00, 0x00}})));  // id not a number
  EXPECT_FALSE(decodedAs<RTMPCommandMessage>(20, concatenated({kConnect, kOne})));              // no command object
  EXPECT_FALSE(decodedAs<RTMPCommandMessage>(20, concatenated({kConnect, kOne, {0x03, 0x00}})));  // object cut
  // Every cut of a valid payload either fails or loses arguments, never more.
  for (std::size_t length = 0; length < kConnectPayload.size(); ++length) {
    const auto command = decodedAs<RTMPCommandMessage>(
        20, Bytes(kConnectPayload.begin(), kConnectPayload.begin() + static_cast<std::ptrdiff_t>(length)));
    if (command) {
      EXPECT_LT(command->arguments().size(), 2u) << length;
    }
  }
}

TEST(RTMPCommandMessageTests, DataPayloadsCarryNoLeadingByte) {
  const RTMPDataMessage metadata(1, 0, RTMPObjectEncoding::amf3, "onMetaData", {AMFObject{{"width", 2}}});
  const Bytes expected = concatenated({{0x02, 0x00, 0x0A, 'o', 'n', 'M', 'e', 't', 'a', 'D', 'a', 't', 'a'},
                                       {0x03, 0x00, 0x05, 'w', 'i', 'd', 't', 'h'}, kTwo, kObjectEnd});
  EXPECT_EQ(metadata.payload(), expected);
  EXPECT_EQ(metadata.type(), RTMPMessageType::amf3Data);

  for (const std::uint8_t typeId : {15, 18}) {
    const auto received = decodedAs<RTMPDataMessage>(typeId, expected);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->handlerName(), "onMetaData");
    EXPECT_EQ(received->arguments(), (AMFList{AMFObject{{"width", 2.0}}}));
    EXPECT_EQ(received->objectEncoding(), typeId == 15 ? RTMPObjectEncoding::amf3 : RTMPObjectEncoding::amf0);
  }
}

TEST(RTMPCommandMessageTests, ReceivedDataNamesAndArguments) {
  // A marker other than a string names nothing and only the marker is consumed.
  const auto unnamed = decodedAs<RTMPDataMessage>(18, concatenated({{0x05}, kOne}));
  ASSERT_TRUE(unnamed);
  EXPECT_EQ(unnamed->handlerName(), "");
  EXPECT_EQ(unnamed->arguments(), (AMFList{1.0}));

  const auto longName = decodedAs<RTMPDataMessage>(18, {0x0C, 0x00, 0x00, 0x00, 0x01, 'n', 0x01, 0x00});
  ASSERT_TRUE(longName);
  EXPECT_EQ(longName->handlerName(), "n");
  EXPECT_EQ(longName->arguments(), (AMFList{false}));

  // A bad argument ends the list; a missing name drops the message.
  const auto cut = decodedAs<RTMPDataMessage>(18, concatenated({{0x02, 0x00, 0x01, 'h'}, kOne, {0x00, 0x3F}}));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->arguments(), (AMFList{1.0}));
  EXPECT_FALSE(decodedAs<RTMPDataMessage>(18, {0x02, 0x00, 0x05, 'h'}));
}

}  // namespace
}  // namespace rtmpfluvio
