#include <gtest/gtest.h>

#include <chrono>

#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"

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
  testing::WatchedCount rendered;
  ASSERT_TRUE(device->start([&](AVAudioPCMBuffer&, std::uint64_t) { rendered.add(); }));
  ASSERT_TRUE(rendered.waitUntil([](int count) { return count >= 3; }, std::chrono::seconds(5)));
  device->advance(100);
  device->stop();
  const int afterStop = rendered.load();
  // A real window: a render after the stop has no event of its own; ten
  // millisecond periods would fall due in it.
  EXPECT_FALSE(rendered.waitUntil([&](int count) { return count > afterStop; }, std::chrono::milliseconds(10)));
}

TEST(NullAudioDeviceTests, RefusesWhatItCannotRender) {
  EXPECT_EQ(NullAudioDevice::make(kStereo, 0, NullAudioDevice::Clock::manual), nullptr);
  EXPECT_EQ(NullAudioDevice::make(nullptr, 128, NullAudioDevice::Clock::manual), nullptr);
}

}  // namespace
}  // namespace platform
