#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"

#include <gtest/gtest.h>

namespace rtmpfluvio {
namespace {

TEST(RTMPFluvioLoggerTests, IsTheRegisteredLoggerOfTheModuleIdentifier) {
  EXPECT_EQ(&logger(), tracepost::TPLogger::with("com.fluvio.RTMPFluvio").get());
  EXPECT_EQ(&logger(), &logger());
  EXPECT_EQ(logger().identifier(), kRTMPFluvioIdentifier);
}

}  // namespace
}  // namespace rtmpfluvio
