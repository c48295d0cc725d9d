#include <gtest/gtest.h>

#include "RTMPFluvio/Sources/AMF/AMFSerializerError.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSharedObjectMessage.hpp"
#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"
#include "RTMPFluvio/Tests/RTMP/RTMPMessageTestSupport.hpp"

namespace rtmpfluvio {
namespace {

using testing::Bytes;
using testing::concatenated;
using testing::decodedAs;
using Type = RTMPSharedObjectType;

const Bytes kChangeX = {0x04, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x01, 'x', 0x00, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0};

Bytes written(const RTMPSharedObjectEvent& event) {
  AMF0Serializer serializer;
  event.serialize(serializer);
  return serializer.data();
}

std::vector<RTMPSharedObjectEvent> readEvents(const Bytes& bytes) {
  AMF0Serializer serializer{std::span<const std::uint8_t>(bytes)};
  std::vector<RTMPSharedObjectEvent> events;
  while (serializer.bytesAvailable() > 0) {
    if (auto event = RTMPSharedObjectEvent::decode(serializer)) events.push_back(*event);
  }
  return events;
}

TEST(RTMPSharedObjectTests, EventsAreWrittenByteExact) {
  EXPECT_EQ(written({Type::change, "x", AMFValue(1.0)}), kChangeX);
  EXPECT_EQ(written({Type::useSuccess, std::nullopt, std::nullopt}), (Bytes{0x0B, 0, 0, 0, 0}));
  // Without a name nothing but the type and a zero length is written.
  EXPECT_EQ(written({Type::sendMessage, std::nullopt, AMFValue(1.0)}), (Bytes{0x06, 0, 0, 0, 0}));
  EXPECT_EQ(written({Type::requestChange, "ab", std::nullopt}), (Bytes{0x03, 0, 0, 0, 5, 0x00, 0x02, 'a', 'b', 0x05}));
  const RTMPSharedObjectEvent overlong{Type::change, std::string(65536, 'n'), std::nullopt};
  EXPECT_THROW(written(overlong), AMFSerializerError);
}

TEST(RTMPSharedObjectTests, EventsAreReadBack) {
  EXPECT_EQ(readEvents(kChangeX), (std::vector<RTMPSharedObjectEvent>{{Type::change, "x", AMFValue(1.0)}}));
  EXPECT_EQ(readEvents({0x0B, 0, 0, 0, 0}), (std::vector<RTMPSharedObjectEvent>{{Type::useSuccess, {}, {}}}));
  // A change whose name fills its length has no value.
  EXPECT_EQ(readEvents({0x04, 0, 0, 0, 3, 0x00, 0x01, 'x'}), (std::vector<RTMPSharedObjectEvent>{{Type::change, "x", {}}}));
  // The data of a status event is a second counted text.
  EXPECT_EQ(readEvents({0x07, 0, 0, 0, 8, 0x00, 0x01, 'c', 0x00, 0x03, 'l', 'v', 'l'}),
            (std::vector<RTMPSharedObjectEvent>{{Type::status, "c", AMFValue("lvl")}}));
}

TEST(RTMPSharedObjectTests, TheReaderMovesToTheEndOfEachDeclaredLength) {
  // Trailing bytes inside a change's length, then an event of unknown type
  // (0x00) with a body of its own: both are skipped whole.
  const Bytes bytes = concatenated({{0x04, 0, 0, 0, 6, 0x00, 0x01, 'x', 0x05, 0xEE, 0xEE},
                                    {0x00, 0, 0, 0, 3, 0x0B, 0x0B, 0x0B},
                                    {0x02, 0, 0, 0, 0}});
  EXPECT_EQ(readEvents(bytes), (std::vector<RTMPSharedObjectEvent>{{Type::change, "x", AMFValue()},
                                                                   {Type::release, {}, {}}}));
}

TEST(RTMPSharedObjectTests, EventsThatDoNotFitTheirLengthFail) {
  // A length past the payload, a name longer than the length, a value cut by it.
  for (const Bytes& bytes : {Bytes{0x04, 0, 0, 0, 9, 0x00, 0x01, 'x'}, Bytes{0x04, 0, 0, 0, 2, 0x00, 0x05, 'x'},
                             Bytes{0x04, 0, 0, 0, 5, 0x00, 0x01, 'x', 0x00, 0x3F, 0xF0}, Bytes{0x04, 0, 0}}) {
    AMF0Serializer serializer{std::span<const std::uint8_t>(bytes)};
    EXPECT_ANY_THROW(RTMPSharedObjectEvent::decode(serializer)) << bytes.size();
  }
}

TEST(RTMPSharedObjectTests, MessagesAreWrittenAndReadBack) {
  const std::vector<RTMPSharedObjectEvent> events{{Type::use, std::nullopt, std::nullopt},
                                                  {Type::change, "x", AMFValue(1.0)}};
  const RTMPSharedObjectMessage message(0, 0, RTMPObjectEncoding::amf0, "so", 7,
                                        RTMPSharedObjectMessage::makeFlags(true), events);
  const Bytes expected = concatenated({{0x00, 0x02, 's', 'o', 0, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0, 0},
                                       {0x01, 0, 0, 0, 0}, kChangeX});
  EXPECT_EQ(message.payload(), expected);
  EXPECT_EQ(message.type(), RTMPMessageType::amf0Shared);

  const RTMPSharedObjectMessage amf3(0, 0, RTMPObjectEncoding::amf3, "so", 7, RTMPSharedObjectMessage::makeFlags(true),
                                     events);
  EXPECT_EQ(amf3.payload(), concatenated({{0x00}, expected}));
  EXPECT_EQ(amf3.type(), RTMPMessageType::amf3Shared);

  for (const auto& [typeId, payload] : {std::pair{std::uint8_t{19}, expected},
                                        std::pair{std::uint8_t{16}, amf3.payload()}}) {
    const auto received = decodedAs<RTMPSharedObjectMessage>(typeId, payload);
    ASSERT_TRUE(received) << int(typeId);
    EXPECT_EQ(received->sharedObjectName(), "so");
    EXPECT_EQ(received->currentVersion(), 7u);
    EXPECT_EQ(received->flags(), RTMPSharedObjectMessage::makeFlags(true));
    EXPECT_EQ(received->events(), events);
  }
}

TEST(RTMPSharedObjectTests, AMessageWithABadEventIsDropped) {
  const Bytes header{0x00, 0x02, 's', 'o', 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(decodedAs<RTMPSharedObjectMessage>(19, concatenated({header, {0x04, 0, 0, 0, 9}})));
  EXPECT_FALSE(decodedAs<RTMPSharedObjectMessage>(19, Bytes(header.begin(), header.end() - 1)));
  // Unknown events are left out, the rest kept.
  const auto received = decodedAs<RTMPSharedObjectMessage>(19, concatenated({header, {0x0C, 0, 0, 0, 1, 0xFF}, kChangeX}));
  ASSERT_TRUE(received);
  EXPECT_EQ(received->events(), (std::vector<RTMPSharedObjectEvent>{{Type::change, "x", AMFValue(1.0)}}));
}

}  // namespace
}  // namespace rtmpfluvio
