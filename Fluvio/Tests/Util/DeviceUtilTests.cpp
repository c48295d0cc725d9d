#include <gtest/gtest.h>

#include "Fluvio/Sources/Util/DeviceUtil.hpp"

namespace fluvio {
namespace {

using platform::AVCaptureVideoOrientation;
using platform::UIDeviceOrientation;
using platform::UIInterfaceOrientation;
using Port = platform::AVAudioSession::Port;

TEST(DeviceUtilTests, OrientationsPassThroughByRawValue) {
  EXPECT_EQ(DeviceUtil::videoOrientation(UIDeviceOrientation::portrait), AVCaptureVideoOrientation::portrait);
  EXPECT_EQ(DeviceUtil::videoOrientation(UIDeviceOrientation::portraitUpsideDown),
            AVCaptureVideoOrientation::portraitUpsideDown);
  EXPECT_EQ(DeviceUtil::videoOrientation(UIDeviceOrientation::landscapeLeft), AVCaptureVideoOrientation::landscapeRight);
  EXPECT_EQ(DeviceUtil::videoOrientation(UIDeviceOrientation::landscapeRight), AVCaptureVideoOrientation::landscapeLeft);
  EXPECT_EQ(DeviceUtil::videoOrientation(UIInterfaceOrientation::landscapeLeft),
            AVCaptureVideoOrientation::landscapeLeft);
  EXPECT_EQ(DeviceUtil::videoOrientation(UIInterfaceOrientation::landscapeRight),
            AVCaptureVideoOrientation::landscapeRight);
  for (const auto orientation : {UIDeviceOrientation::unknown, UIDeviceOrientation::faceUp, UIDeviceOrientation::faceDown}) {
    EXPECT_EQ(DeviceUtil::videoOrientation(orientation), std::nullopt);
  }
  EXPECT_EQ(DeviceUtil::videoOrientation(UIInterfaceOrientation::unknown), std::nullopt);
}

class HeadphoneRouteTests : public testing::Test {
 protected:
  void TearDown() override { route({Port::builtInSpeaker}); }

  static void route(std::initializer_list<Port> outputs) {
    platform::AVAudioSessionRouteDescription::Ports ports;
    for (const Port output : outputs) {
      ports.push_back(platform::AVAudioSessionPortDescription::make(output));
    }
    platform::AVAudioSession::sharedInstance().setCurrentRoute(platform::AVAudioSessionRouteDescription::make(ports));
  }
};

TEST_F(HeadphoneRouteTests, ConnectedWhenAnyOutputIsOneOfThePorts) {
  const std::set<Port> headphones{Port::headphones, Port::bluetoothA2DP};
  route({Port::builtInSpeaker});
  EXPECT_FALSE(DeviceUtil::isHeadphoneConnected(headphones));
  route({Port::HDMI, Port::bluetoothA2DP});
  EXPECT_TRUE(DeviceUtil::isHeadphoneConnected(headphones));
  EXPECT_FALSE(DeviceUtil::isHeadphoneConnected({}));
  route({});
  EXPECT_FALSE(DeviceUtil::isHeadphoneConnected(headphones));
}

}  // namespace
}  // namespace fluvio
