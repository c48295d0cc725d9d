#include <gtest/gtest.h>

#include "RTMPFluvio/Sources/RTMP/RTMPResponse.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStatus.hpp"

namespace rtmpfluvio {
namespace {

TEST(RTMPStatusTests, ReadsCodeAndLevelAndKeepsTheWholeObject) {
  struct Case {
    const char* name;
    AMFObject object;
    std::optional<std::pair<std::string, std::string>> expected;  // code, description
  };
  const Case cases[] = {
      {"no description", {{"code", "NetStream.Publish.Start"}, {"level", "status"}},
       std::pair<std::string, std::string>{"NetStream.Publish.Start", ""}},
      {"description", {{"code", "c"}, {"level", "error"}, {"description", "why"}},
       std::pair<std::string, std::string>{"c", "why"}},
      {"numeric description", {{"code", "c"}, {"level", "error"}, {"description", 5.0}},
       std::pair<std::string, std::string>{"c", ""}},
      {"numeric code", {{"code", 1.0}, {"level", "status"}}, std::nullopt},
      {"no code", {{"level", "status"}}, std::nullopt},
      {"no level", {{"code", "c"}}, std::nullopt},
      {"null level", {{"code", "c"}, {"level", AMFValue()}}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto status = RTMPStatus::make(&c.object);
    ASSERT_EQ(status.has_value(), c.expected.has_value());
    if (!status) continue;
    EXPECT_EQ(status->code(), c.expected->first);
    EXPECT_EQ(status->description(), c.expected->second);
    EXPECT_EQ(status->data(), c.object);
  }
  EXPECT_FALSE(RTMPStatus::make(nullptr));
}

TEST(RTMPStatusTests, MemberLookupsDoNotConvertBetweenKinds) {
  const AMFObject object{{"code", "c"}, {"level", "status"}, {"objectEncoding", 0.0}, {"clientid", "x1"}};
  const auto status = RTMPStatus::make(&object);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->number("objectEncoding"), 0.0);
  EXPECT_EQ(status->string("objectEncoding"), std::nullopt);
  EXPECT_EQ(status->string("clientid"), "x1");
  EXPECT_EQ(status->number("clientid"), std::nullopt);
  EXPECT_EQ(status->number("missing"), std::nullopt);
}

TEST(RTMPStatusTests, ResponseTakesItsStatusFromTheFirstArgumentOnly) {
  const AMFObject information{{"code", "NetConnection.Connect.Success"}, {"level", "status"}, {"description", "ok"}};
  const RTMPCommandMessage connect(0, 0, RTMPObjectEncoding::amf0, "_result", 1,
                                   AMFObject{{"fmsVer", "FMS/3,0,1,123"}}, {AMFValue(information)});
  const RTMPResponse connected(connect);
  ASSERT_TRUE(connected.status());
  EXPECT_EQ(connected.status()->code(), "NetConnection.Connect.Success");
  EXPECT_EQ(connected.arguments(), AMFList{AMFValue(information)});

  const RTMPResponse created(RTMPCommandMessage(0, 0, RTMPObjectEncoding::amf0, "_result", 4, std::nullopt, {1.0}));
  EXPECT_FALSE(created.status());
  EXPECT_EQ(created.arguments(), AMFList{AMFValue(1.0)});

  const RTMPResponse nullFirst(
      RTMPCommandMessage(0, 0, RTMPObjectEncoding::amf0, "_error", 4, std::nullopt, {AMFValue(), information}));
  EXPECT_FALSE(nullFirst.status());
  EXPECT_TRUE(nullFirst.arguments().front().isNull());
}

}  // namespace
}  // namespace rtmpfluvio
