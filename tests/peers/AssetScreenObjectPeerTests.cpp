#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "Fluvio/Sources/Screen/AssetScreenObject.hpp"
#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Tests/Screen/ScreenTestSupport.hpp"
#include "tests/peers/support/Process.hpp"

using namespace fluvio;
using namespace platform;

namespace {

// Ten 64x36 frames at 10 fps, frame n all red at level 20 n, stored losslessly.
std::filesystem::path makeClip(const peers::TemporaryDirectory& directory) {
  const auto path = directory.path() / "clip.mkv";
  const auto result = peers::run(
      "ffmpeg -v error -y -f lavfi -i color=c=black:s=64x36:r=10:d=1 -vf \"geq=r='N*20':g=0:b=0\" "
      "-c:v ffv1 -pix_fmt bgr0 " + peers::quoted(path.string()));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  return path;
}

}  // namespace

TEST_ON_SCREEN_ACTOR(AssetScreenObjectPeerTests, PlaysAnFfmpegClipFrameByFrameAtItsTimes) {
  peers::TemporaryDirectory directory;
  const auto clip = makeClip(directory);
  auto screen = Screen::make();
  screen->setSize({64, 36});
  auto asset = AssetScreenObject::make();
  screen->addChild(asset);

  const auto start = std::chrono::steady_clock::now();
  asset->startReading({clip});
  ASSERT_TRUE(asset->isReading());
  std::vector<int> seen;
  const auto deadline = start + std::chrono::seconds(20);
  double tick = 1;
  while (std::chrono::steady_clock::now() < deadline) {
    auto frame = screen->makeSampleBuffer({tick, tick + 0.005});
    tick += 0.005;
    ASSERT_TRUE(frame);
    const std::uint8_t* centre = frame->imageBuffer()->baseAddress() + 18 * frame->imageBuffer()->bytesPerRow() + 32 * 4;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (centre[0] == 0) {  // nothing drawn: the track has ended
      if (!seen.empty() && !asset->isReading()) break;
      continue;
    }
    const int index = (centre[1] + 10) / 20;
    if (seen.empty() || seen.back() != index) {
      // Frame n is read once frame n - 1's time has come: never before.
      EXPECT_GE(elapsed, (index - 1) * 0.1 - 0.001) << "frame " << index << " came early";
      seen.push_back(index);
    }
    // Paces the render ticks as a display would; it waits for no event.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_FALSE(asset->isReading());
}

TEST_ON_SCREEN_ACTOR(AssetScreenObjectPeerTests, CancellingStopsPlaybackAndClearsTheFrame) {
  peers::TemporaryDirectory directory;
  auto screen = Screen::make();
  screen->setSize({64, 36});
  auto asset = AssetScreenObject::make();
  screen->addChild(asset);
  asset->startReading({makeClip(directory)});
  auto frame = screen->makeSampleBuffer({1, 1.03});
  EXPECT_EQ(frame->imageBuffer()->baseAddress()[18 * frame->imageBuffer()->bytesPerRow() + 32 * 4], 255);
  asset->cancelReading();
  EXPECT_FALSE(asset->isReading());
  frame = screen->makeSampleBuffer({2, 2.03});
  EXPECT_EQ(frame->imageBuffer()->baseAddress()[18 * frame->imageBuffer()->bytesPerRow() + 32 * 4], 0);
  EXPECT_THROW(asset->startReading({directory.path() / "missing.mkv"}), AVAssetReader::Error);
}
