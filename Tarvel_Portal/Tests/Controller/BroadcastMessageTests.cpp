#include <gtest/gtest.h>

#include "Tarvel_Portal/Sources/Controller/BroadcastMessage.hpp"

namespace tarvelportal {
namespace {

using platform::WKScriptArray;
using platform::WKScriptDictionary;
using platform::WKScriptMessage;
using platform::WKScriptObject;
using platform::WKScriptValue;

struct DecodingCase {
  const char* description;
  WKScriptMessage message;
  BroadcastMessage expected;
};

WKScriptMessage onBridge(platform::WKScriptBody body) { return {"tarvelBroadcast", std::move(body)}; }

TEST(BroadcastMessage, DecodesEveryRuleOfTheBridge) {
  const DecodingCase cases[] = {
      {"armed with both strings", onBridge(WKScriptDictionary{{"type", "armed"}, {"url", "rtmp://a/live"}, {"key", "k1"}}),
       BroadcastArmed{"rtmp://a/live", "k1"}},
      {"values kept unchanged, other fields ignored",
       onBridge(WKScriptDictionary{{"type", "armed"}, {"url", " rtmp://b/app "}, {"key", " K2 "}, {"extra", 1.0}}),
       BroadcastArmed{" rtmp://b/app ", " K2 "}},
      {"another handler name", {"tarvelbroadcast", WKScriptDictionary{{"type", "disarmed"}}}, BroadcastIgnored{}},
      {"body is a string", onBridge(WKScriptValue("disarmed")), BroadcastIgnored{}},
      {"body is an array", onBridge(WKScriptValue(WKScriptArray{})), BroadcastIgnored{}},
      {"body is null", onBridge(WKScriptValue()), BroadcastIgnored{}},
      {"no type", onBridge(WKScriptDictionary{{"url", "rtmp://a/live"}, {"key", "k"}}), BroadcastIgnored{}},
      {"type is a number", onBridge(WKScriptDictionary{{"type", 1.0}}), BroadcastIgnored{}},
      {"type is an object", onBridge(WKScriptDictionary{{"type", WKScriptObject{}}}), BroadcastIgnored{}},
      {"type in other case", onBridge(WKScriptDictionary{{"type", "ARMED"}, {"url", "rtmp://a"}, {"key", "k"}}),
       BroadcastIgnored{}},
      {"unknown type", onBridge(WKScriptDictionary{{"type", "paused"}}), BroadcastIgnored{}},
      {"armed without url", onBridge(WKScriptDictionary{{"type", "armed"}, {"key", "k"}}), BroadcastIgnored{}},
      {"armed without key", onBridge(WKScriptDictionary{{"type", "armed"}, {"url", "rtmp://a"}}), BroadcastIgnored{}},
      {"url is a number", onBridge(WKScriptDictionary{{"type", "armed"}, {"url", 5.0}, {"key", "k"}}),
       BroadcastIgnored{}},
      {"key is a number", onBridge(WKScriptDictionary{{"type", "armed"}, {"url", "rtmp://a"}, {"key", 5.0}}),
       BroadcastIgnored{}},
      {"key is a boolean", onBridge(WKScriptDictionary{{"type", "armed"}, {"url", "rtmp://a"}, {"key", true}}),
       BroadcastIgnored{}},
      {"empty url", onBridge(WKScriptDictionary{{"type", "armed"}, {"url", ""}, {"key", "k"}}), BroadcastIgnored{}},
      {"empty key", onBridge(WKScriptDictionary{{"type", "armed"}, {"url", "rtmp://a"}, {"key", ""}}),
       BroadcastIgnored{}},
      {"disarmed alone", onBridge(WKScriptDictionary{{"type", "disarmed"}}), BroadcastDisarmed{}},
      {"disarmed reads no other field", onBridge(WKScriptDictionary{{"type", "disarmed"}, {"url", 3.0}}),
       BroadcastDisarmed{}},
  };
  for (const auto& testCase : cases) {
    EXPECT_EQ(decodeBroadcastMessage(testCase.message), testCase.expected) << testCase.description;
  }
}

}  // namespace
}  // namespace tarvelportal
