#include <gtest/gtest.h>

#include "Fluvio/Sources/Util/DeviceUtil.hpp"
#include "Platform/AVFoundation/AVAudioSessionPortName.hpp"
#include "Platform/AVFoundation/UIDevice.hpp"
#include "Platform/Foundation/LifecycleNotifications.hpp"

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

TEST(DeviceUtilTests, OrientationFromTheCurrentDevicesNotificationOnly) {
  const auto& device = platform::UIDevice::current();
  const platform::Notification fromDevice{std::string(platform::UIDeviceOrientationDidChangeNotification), device, {}};
  device->setOrientation(UIDeviceOrientation::landscapeLeft);
  EXPECT_EQ(DeviceUtil::videoOrientation(fromDevice), AVCaptureVideoOrientation::landscapeRight);
  device->setOrientation(UIDeviceOrientation::faceUp);
  EXPECT_EQ(DeviceUtil::videoOrientation(fromDevice), std::nullopt);
  device->setOrientation(UIDeviceOrientation::portrait);
  EXPECT_EQ(DeviceUtil::videoOrientation(fromDevice), AVCaptureVideoOrientation::portrait);
  auto other = std::make_shared<int>(1);
  EXPECT_EQ(DeviceUtil::videoOrientation(platform::Notification{"x", other, {}}), std::nullopt);
  EXPECT_EQ(DeviceUtil::videoOrientation(platform::Notification{"x", nullptr, {}}), std::nullopt);
  device->setOrientation(UIDeviceOrientation::unknown);
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

TEST_F(HeadphoneRouteTests, DisconnectedWhenTheLastHeadphonePortWentAway) {
  const std::set<Port> headphones{Port::headphones, Port::bluetoothA2DP};
  const auto change = [](std::vector<Port> previous) {
    return platform::Notification{std::string(platform::AVAudioSessionRouteChangeNotification), nullptr,
                                  {{std::string(platform::AVAudioSessionRouteChangePreviousRouteKey),
                                    platform::joinPortTypeNames(previous)}}};
  };
  struct Case {
    std::vector<Port> previous;
    std::initializer_list<Port> current;
    bool disconnected;
  };
  const Case cases[] = {
      {{Port::headphones}, {Port::builtInSpeaker}, true},
      {{Port::builtInSpeaker, Port::bluetoothA2DP}, {}, true},
      {{Port::builtInSpeaker}, {Port::builtInSpeaker}, false},
      {{Port::headphones}, {Port::bluetoothA2DP}, false},  // another headphone port still in use
      {{}, {}, false},
  };
  for (const auto& [previous, current, disconnected] : cases) {
    route(current);
    EXPECT_EQ(DeviceUtil::isHeadphoneDisconnected(change(previous), headphones), disconnected);
  }
  route({});
  EXPECT_FALSE(DeviceUtil::isHeadphoneDisconnected(platform::Notification{"x", nullptr, {}}, headphones));
  EXPECT_FALSE(DeviceUtil::isHeadphoneDisconnected(
      platform::Notification{"x", nullptr, {{std::string(platform::AVAudioSessionRouteChangePreviousRouteKey), std::int64_t(1)}}},
      headphones));
}

}  // namespace
}  // namespace fluvio
