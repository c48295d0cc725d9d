#include <gtest/gtest.h>

#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSharedObject.hpp"

namespace rtmpfluvio {
namespace {

using platform::blockOn;
using Type = RTMPSharedObjectType;
using Bytes = std::vector<std::uint8_t>;

RTMPSharedObjectMessage fromServer(std::uint32_t version, std::vector<RTMPSharedObjectEvent> events) {
  return RTMPSharedObjectMessage(0, 0, RTMPObjectEncoding::amf0, "board", version,
                                 RTMPSharedObjectMessage::makeFlags(false), std::move(events));
}

TEST(RTMPSharedObjectMirrorTests, OneObjectPerNamePathAndPersistence) {
  EXPECT_FALSE(RTMPSharedObject::findRemote("a", "rtmp://host/app", false)) << "only getRemote makes one";
  const auto object = RTMPSharedObject::getRemote("a", "rtmp://host/app", false);
  EXPECT_EQ(RTMPSharedObject::findRemote("a", "rtmp://host/app", false), object);
  EXPECT_FALSE(RTMPSharedObject::findRemote("a", "rtmp://host/app", true));
  EXPECT_FALSE(RTMPSharedObject::findRemote("b", "rtmp://host/app", false));
  EXPECT_EQ(RTMPSharedObject::getRemote("a", "rtmp://host/app", false), object);
  EXPECT_NE(RTMPSharedObject::getRemote("a", "rtmp://host/app", true), object);
  EXPECT_NE(RTMPSharedObject::getRemote("a", "rtmp://host/other", false), object);
  EXPECT_NO_THROW(RTMPSharedObject::getRemote(std::string(65535, 'n'), "p", false));
  EXPECT_THROW(RTMPSharedObject::getRemote(std::string(65536, 'n'), "p", false), RTMPSharedObject::Error);
}

TEST(RTMPSharedObjectMirrorTests, ServerEventsUpdateTheMirror) {
  struct Row {
    const char* name;
    std::vector<RTMPSharedObjectEvent> events;
    AMFObject expected;
  };
  const Row rows[] = {
      {"change adds", {{Type::change, "x", AMFValue(1.0)}}, AMFObject{{"x", 1.0}, {"y", "kept"}}},
      {"change replaces", {{Type::change, "y", AMFValue(2.0)}}, AMFObject{{"y", 2.0}}},
      {"change without value", {{Type::change, "y", std::nullopt}}, AMFObject{{"y", AMFNull()}}},
      {"status removes", {{Type::status, "y", AMFValue("refused")}}, AMFObject{}},
      {"remove leaves it", {{Type::remove, "y", std::nullopt}}, AMFObject{{"y", "kept"}}},
      {"unnamed skipped", {{Type::change, std::nullopt, AMFValue(1.0)}, {Type::status, std::nullopt, {}}},
       AMFObject{{"y", "kept"}}},
      {"clear empties", {{Type::change, "x", AMFValue(1.0)}, {Type::clear, std::nullopt, {}}}, AMFObject{}},
  };
  int index = 0;
  for (const auto& row : rows) {
    const auto object = RTMPSharedObject::getRemote("mirror" + std::to_string(index++), "rtmp://host/app", false);
    blockOn(object->setProperty("y", "kept"));
    blockOn(object->on(fromServer(7, row.events)));
    EXPECT_EQ(blockOn(object->data()), row.expected) << row.name;
  }
}

TEST(RTMPSharedObjectMirrorTests, OutgoingMessagesCountVersionsAndTime) {
  const auto object = RTMPSharedObject::getRemote("outgoing", "rtmp://host/app", true);
  const auto first = blockOn(object->makeMessage({{Type::use, std::nullopt, std::nullopt}}));
  EXPECT_EQ(first.timestamp(), 0u);
  EXPECT_EQ(first.currentVersion(), 0u);
  EXPECT_EQ(first.payload(), (Bytes{0x00, 0x08, 'o', 'u', 't', 'g', 'o', 'i', 'n', 'g', 0, 0, 0, 0, 0, 0, 0, 2, 0,
                                    0, 0, 0, 0x01, 0, 0, 0, 0}));
  EXPECT_EQ(blockOn(object->makeMessage({{Type::clear, std::nullopt, std::nullopt}})).currentVersion(), 1u);
  // The server's version is taken over; after useSuccess the field is 0.
  blockOn(object->on(fromServer(41, {})));
  EXPECT_EQ(blockOn(object->makeMessage({})).currentVersion(), 41u);
  blockOn(object->on(fromServer(50, {{Type::useSuccess, std::nullopt, std::nullopt}})));
  EXPECT_EQ(blockOn(object->makeMessage({})).currentVersion(), 0u);
  blockOn(object->on(fromServer(0xFFFFFFFF, {})));
  EXPECT_THROW(blockOn(object->makeMessage({})), RTMPSharedObject::Error);
}

}  // namespace
}  // namespace rtmpfluvio
