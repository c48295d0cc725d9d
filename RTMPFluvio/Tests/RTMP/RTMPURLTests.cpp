#include <gtest/gtest.h>

#include "RTMPFluvio/Sources/RTMP/RTMPStreamInfo.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPTimestamp.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPURL.hpp"

namespace rtmpfluvio {
namespace {

TEST(RTMPURLTests, StreamNameAndCommandURLSplitThePath) {
  struct Case {
    const char* url;
    const char* streamName;
    const char* commandURL;
  };
  const Case cases[] = {
      {"rtmp://host/live/abc", "abc", "rtmp://host/live"},
      {"rtmp://host/live/abc?key=v", "abc?key=v", "rtmp://host/live"},
      {"rtmp://host/live/k%26ey?a=b%26c", "k&ey?a=b%26c", "rtmp://host/live"},
      {"rtmps://u:p@host:4443/app/inst/abc", "inst/abc", "rtmps://u:p@host:4443/app"},
      {"rtmp://host/live", "", "rtmp://host/live"},
      {"rtmp://host/", "", "rtmp://host"},
      {"rtmp://host", "", "rtmp://host"},
      {"rtmp://host/live/live", "live", "rtmp://host/live"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const RTMPURL url(*platform::URL::make(c.url));
    EXPECT_EQ(url.streamName(), c.streamName);
    EXPECT_EQ(url.commandURL().absoluteString(), c.commandURL);
  }
}

TEST(RTMPURLTests, TimestampCarriesFractionsAndRefusesBadSequences) {
  RTMPTimestamp timestamp;
  EXPECT_EQ(timestamp.update(2.0), 0u);
  std::uint32_t sum = 0;
  const std::uint32_t expected[] = {62, 63, 62, 63};
  for (int step = 1; step <= 4; ++step) {
    const std::uint32_t delta = timestamp.update(2.0 + 0.0625 * step);
    EXPECT_EQ(delta, expected[step - 1]);
    sum += delta;
  }
  EXPECT_EQ(sum, 250u);
  EXPECT_THROW(timestamp.update(2.25), RTMPTimestamp::Error) << "same time";
  EXPECT_THROW(timestamp.update(2.0), RTMPTimestamp::Error) << "earlier time";
  EXPECT_EQ(timestamp.updatedAt(), 2.25);
  EXPECT_EQ(timestamp.update(2.5), 250u) << "measured from the last accepted time";
  EXPECT_THROW(timestamp.update(2.5 + 4294967.3), RTMPTimestamp::Error) << "2^32 ms or more";
  EXPECT_GT(timestamp.update(2.5 + 4294967.2), 4294967000u) << "just below 2^32 ms";

  for (const double first : {0.0, -3.0}) {
    RTMPTimestamp zero;
    EXPECT_EQ(zero.update(first), 0u) << "a first time of " << first << " is a time like any other";
    EXPECT_EQ(zero.update(first + 0.5), 500u);
  }
}

TEST(RTMPURLTests, StreamInfoSamplesTheRate) {
  RTMPStreamInfo info;
  info.byteCount = 1000;
  info.sample();
  info.byteCount = 1500;
  info.sample();
  EXPECT_EQ(info.currentBytesPerSecond, 500);
  EXPECT_EQ(info.debugDescription(),
            "RTMPStreamInfo(byteCount: 1500, resourceName: nil, currentBytesPerSecond: 500, previousByteCount: 1500)");
}

}  // namespace
}  // namespace rtmpfluvio
