#include <gtest/gtest.h>

#include "RTMPFluvio/Sources/RTMP/RTMPControlMessages.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPUserControlMessage.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPMessageTestSupport.hpp"

namespace rtmpfluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Event = RTMPUserControlMessage::Event;
using Limit = RTMPSetPeerBandwidthMessage::Limit;
using testing::decodedAs;
using testing::receivedHeader;

void expectPayload(const RTMPMessage& message, const Bytes& payload) {
  EXPECT_EQ(message.payload(), payload) << message.type();
}

TEST(RTMPControlMessageTests, PayloadsAreByteExact) {
  expectPayload(RTMPSetChunkSizeMessage(0, 0, 4096), {0x00, 0x00, 0x10, 0x00});
  expectPayload(RTMPAbortMessge(0, 0, 0x01020304), {0x01, 0x02, 0x03, 0x04});
  expectPayload(RTMPAcknowledgementMessage(0, 0, 0xFFFFFFFF), {0xFF, 0xFF, 0xFF, 0xFF});
  expectPayload(RTMPWindowAcknowledgementSizeMessage(0, 0, 2500000), {0x00, 0x26, 0x25, 0xA0});
  expectPayload(RTMPSetPeerBandwidthMessage(0, 0, 2500000, Limit::dynamic), {0x00, 0x26, 0x25, 0xA0, 0x02});
  expectPayload(RTMPUserControlMessage(0, 0, Event::streamBegin, 1), {0x00, 0x00, 0x00, 0x00, 0x00, 0x01});
  expectPayload(RTMPUserControlMessage(0, 0, Event::ping, 1), {0x00, 0x06, 0x00, 0x00, 0x00, 0x01});
  expectPayload(RTMPUserControlMessage(0, 0, Event::pong, -1), {0x00, 0x07, 0xFF, 0xFF, 0xFF, 0xFF});
  expectPayload(RTMPUserControlMessage(0, 0, Event::bufferFull, 0), {0x00, 0x20, 0x00, 0x00, 0x00, 0x00});
}

TEST(RTMPControlMessageTests, ReceivedControlMessagesKeepStreamTimestampAndValue) {
  const auto chunkSize = decodedAs<RTMPSetChunkSizeMessage>(1, {0x00, 0x00, 0x10, 0x00, 0xAA});
  ASSERT_TRUE(chunkSize);
  EXPECT_EQ(chunkSize->size(), 4096u);
  EXPECT_EQ(chunkSize->streamId(), 1u);
  EXPECT_EQ(chunkSize->timestamp(), 1000u);
  EXPECT_EQ(chunkSize->type(), RTMPMessageType::chunkSize);

  EXPECT_EQ(decodedAs<RTMPAbortMessge>(2, {0, 0, 0, 5})->chunkStreamId(), 5u);
  EXPECT_EQ(decodedAs<RTMPAcknowledgementMessage>(3, {0x80, 0, 0, 0})->sequence(), 0x80000000u);
  EXPECT_EQ(decodedAs<RTMPWindowAcknowledgementSizeMessage>(5, {0x00, 0x26, 0x25, 0xA0})->size(), 2500000u);

  const auto bandwidth = decodedAs<RTMPSetPeerBandwidthMessage>(6, {0x00, 0x26, 0x25, 0xA0, 0x01});
  ASSERT_TRUE(bandwidth);
  EXPECT_EQ(bandwidth->size(), 2500000u);
  EXPECT_EQ(bandwidth->limit(), Limit::soft);
}

TEST(RTMPControlMessageTests, EveryPeerBandwidthLimitTypeReadsBackAsWritten) {
  for (const Limit limit : {Limit::hard, Limit::soft, Limit::dynamic}) {
    const RTMPSetPeerBandwidthMessage written(0, 0, 1000000, limit);
    const auto read = decodedAs<RTMPSetPeerBandwidthMessage>(6, written.payload());
    ASSERT_TRUE(read) << int(rawValue(limit));
    EXPECT_EQ(read->limit(), limit);
    EXPECT_EQ(read->size(), 1000000u);
  }
  const std::pair<std::uint8_t, Limit> limitBytes[] = {
      {0x00, Limit::hard},    {0x01, Limit::soft},    {0x02, Limit::dynamic},
      {0x03, Limit::unknown}, {0x80, Limit::unknown}, {0xFE, Limit::unknown},
  };
  for (const auto& [byte, limit] : limitBytes) {
    const auto read = decodedAs<RTMPSetPeerBandwidthMessage>(6, {0, 0, 0, 1, byte});
    ASSERT_TRUE(read) << int(byte);
    EXPECT_EQ(read->limit(), limit) << int(byte);
  }
}

TEST(RTMPControlMessageTests, UserControlEventsComeFromTheLowTypeByte) {
  const std::pair<Bytes, Event> table[] = {
      {{0x00, 0x1F, 0x00, 0x00, 0x00, 0x01}, Event::bufferEmpty},
      {{0x01, 0x20, 0x00, 0x00, 0x00, 0x01}, Event::bufferFull},  // the high byte is not examined
      {{0x00, 0x05, 0x00, 0x00, 0x00, 0x01}, Event::unknown},
      {{0x00, 0x03, 0x00, 0x00, 0x00, 0x01}, Event::setBuffer},
  };
  for (const auto& [payload, event] : table) {
    const auto message = decodedAs<RTMPUserControlMessage>(4, payload);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->event(), event);
    EXPECT_EQ(message->value(), 1);
  }
  EXPECT_EQ(decodedAs<RTMPUserControlMessage>(4, {0x00, 0x07, 0x80, 0x00, 0x00, 0x00})->value(), INT32_MIN);
}

TEST(RTMPControlMessageTests, PayloadsShorterThanTheirLayoutGiveNoMessage) {
  const std::pair<std::uint8_t, std::size_t> layouts[] = {{1, 4}, {2, 4}, {3, 4}, {4, 6}, {5, 4}, {6, 5}};
  for (const auto& [typeId, size] : layouts) {
    for (std::size_t length = 0; length < size; ++length) {
      EXPECT_FALSE(decodeMessage(receivedHeader(typeId, Bytes(length, 0x01)))) << int(typeId) << " " << length;
    }
    EXPECT_TRUE(decodeMessage(receivedHeader(typeId, Bytes(size, 0x01)))) << int(typeId);
  }
}

TEST(RTMPControlMessageTests, OnlyTheListedTypeBytesDecode) {
  for (int typeId = 0; typeId < 256; ++typeId) {
    const bool listed = fromRawValue<RTMPMessageType>(static_cast<std::uint8_t>(typeId)).has_value();
    EXPECT_EQ(listed, (typeId >= 1 && typeId <= 6) || typeId == 8 || typeId == 9 || (typeId >= 15 && typeId <= 20) ||
                          typeId == 22)
        << typeId;
    if (!listed) {
      EXPECT_FALSE(decodeMessage(receivedHeader(static_cast<std::uint8_t>(typeId), Bytes(16, 0))));
    }
  }
}

TEST(RTMPControlMessageTests, MediaAndAggregatePayloadsPassThroughUnchanged) {
  const Bytes payload{0xAF, 0x01, 0x21, 0x10};
  for (const std::uint8_t typeId : {8, 9, 22}) {
    const auto message = decodeMessage(receivedHeader(typeId, payload, 7, 42));
    ASSERT_TRUE(message);
    EXPECT_EQ(rawValue(asMessage(*message).type()), typeId);
    EXPECT_EQ(asMessage(*message).payload(), payload);
    EXPECT_EQ(asMessage(*message).streamId(), 7u);
    EXPECT_EQ(asMessage(*message).timestamp(), 42u);
  }
}

}  // namespace
}  // namespace rtmpfluvio
