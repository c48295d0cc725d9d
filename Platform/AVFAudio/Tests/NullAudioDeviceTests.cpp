#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Platform/AVFAudio/NullAudioDevice.hpp"

namespace platform {
namespace {

const auto kStereo = AVAudioFormat::makeStandard(48000, 2);

TEST(NullAudioDeviceTests, ManualClockRendersOnlyWhenAdvancedWhileStarted) {
  int sunk = 0;
  const auto device =
      NullAudioDevice::make(kStereo, 128, NullAudioDevice::Clock::manual, [&](const AVAudioPCMBuffer& period) {
        EXPECT_EQ(period.frameLength(), 128u);
        ++sunk;
      });
  int rendered = 0;
  device->advance(2);
  EXPECT_EQ(device->renderedPeriods(), 0u);
  ASSERT_TRUE(device->start([&](AVAudioPCMBuffer& buffer, std::uint64_t) {
    EXPECT_EQ(buffer.frameLength(), buffer.frameCapacity());
    // The third render stops the device from inside: it is the last one.
    if (++rendered == 3) device->stop();
  }));
  device->advance(5);
  EXPECT_EQ(rendered, 3);
  EXPECT_EQ(sunk, 3);
  EXPECT_EQ(device->renderedPeriods(), 3u);
}

TEST(NullAudioDeviceTests, RealTimeClockRendersByItselfUntilStopped) {
  const auto device = NullAudioDevice::make(kStereo, 48, NullAudioDevice::Clock::realTime);
  std::atomic<int> rendered = 0;
  ASSERT_TRUE(device->start([&](AVAudioPCMBuffer&, std::uint64_t) { ++rendered; }));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (rendered < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  device->advance(100);
  device->stop();
  const int afterStop = rendered;
  EXPECT_GE(afterStop, 3);
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(rendered, afterStop);
}

TEST(NullAudioDeviceTests, RefusesWhatItCannotRender) {
  EXPECT_EQ(NullAudioDevice::make(kStereo, 0, NullAudioDevice::Clock::manual), nullptr);
  EXPECT_EQ(NullAudioDevice::make(nullptr, 128, NullAudioDevice::Clock::manual), nullptr);
}

}  // namespace
}  // namespace platform
