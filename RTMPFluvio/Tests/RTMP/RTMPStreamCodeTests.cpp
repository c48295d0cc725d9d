#include <gtest/gtest.h>

#include <map>
#include <string>

#include "RTMPFluvio/Sources/RTMP/RTMPStreamCode.hpp"

namespace rtmpfluvio {
namespace {

using Code = RTMPStreamCode;

constexpr int kCodeCount = 39;

TEST(RTMPStreamCodeTests, EveryCodeReadsBackFromItsStringWithItsLevel) {
  std::map<std::string, int> levels;
  for (int index = 0; index < kCodeCount; ++index) {
    const auto code = static_cast<Code>(index);
    EXPECT_EQ(fromRawValue<Code>(rawValue(code)), code) << rawValue(code);
    ++levels[std::string(level(code))];
  }
  EXPECT_EQ(levels, (std::map<std::string, int>{{"status", 26}, {"error", 12}, {"warning", 1}}));
}

TEST(RTMPStreamCodeTests, CodesCarryTheServersStringsAndLevels) {
  struct Row {
    Code code;
    const char* rawValue;
    const char* level;
  };
  const Row rows[] = {
      {Code::bufferEmpty, "NetStream.Buffer.Empty", "status"},
      {Code::playInsufficientBW, "NetStream.Play.InsufficientBW", "warning"},
      {Code::playStreamNotFound, "NetStream.Play.StreamNotFound", "error"},
      {Code::publishBadName, "NetStream.Publish.BadName", "error"},
      {Code::publishStart, "NetStream.Publish.Start", "status"},
      {Code::recordStop, "NetStream.Record.Stop", "status"},
      {Code::recordDiskQuotaExceeded, "NetStream.Record.DiskQuotaExceeded", "error"},
      {Code::secondScreenStart, "NetStream.SecondScreen.Start", "status"},
      {Code::unpauseNotify, "NetStream.Unpause.Notify", "status"},
      {Code::videoDimensionChange, "NetStream.Video.DimensionChange", "status"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(rawValue(row.code), row.rawValue);
    EXPECT_EQ(level(row.code), row.level) << row.rawValue;
  }
}

TEST(RTMPStreamCodeTests, OnlyExactStringsNameACode) {
  for (const char* text : {"", "NetStream.Play", "netstream.play.start", "NetStream.Play.Start ",
                           "NetConnection.Connect.Closed"}) {
    EXPECT_FALSE(fromRawValue<Code>(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace rtmpfluvio
