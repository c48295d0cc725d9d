#include <gtest/gtest.h>

#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Sources/Screen/StreamScreenObject.hpp"
#include "Fluvio/Tests/Screen/ScreenTestSupport.hpp"

using namespace fluvio;
using namespace fluvio::testing;

namespace {

// The renderer starts on transparent black until a background colour is set.
constexpr Argb black{0, 0, 0, 0};
// Frame n of a track is told apart by its red level.
Argb shade(int n) { return {255, static_cast<std::uint8_t>(40 * (n + 1)), 0, 0}; }

struct TrackScene {
  std::shared_ptr<Screen> screen = Screen::make();
  VideoTrackScreenObject& track = *screen->videoTrackScreenObject();

  TrackScene() { screen->setSize({64, 36}); }
  void enqueue(int n, double seconds) { track.enqueue(frameAt(solidFrame(64, 36, shade(n)), seconds)); }
  Argb shownAt(double seconds) {
    auto frame = renderFrame(*screen, seconds);
    return frame ? pixel(*frame, 32, 18) : Argb{};
  }
};

}  // namespace

TEST_ON_SCREEN_ACTOR(VideoTrackScreenObjectTests, ShowsTheNewestDueFrameAndNoneEarly) {
  TrackScene scene;
  EXPECT_EQ(scene.shownAt(0.5), black) << "nothing queued";
  EXPECT_FALSE(scene.track.shouldInvalidateLayout()) << "an empty queue asks for no layout";
  scene.enqueue(0, 1.00);
  scene.enqueue(1, 1.04);
  scene.enqueue(2, 1.08);
  EXPECT_EQ(scene.shownAt(0.99), black) << "not before its time";
  EXPECT_EQ(scene.shownAt(1.05), shade(1)) << "1.04 is due, 1.00 skipped";
  EXPECT_TRUE(scene.track.shouldInvalidateLayout()) << "1.08 is still waiting";
  EXPECT_EQ(scene.shownAt(1.07), shade(1)) << "kept while nothing newer is due";
  EXPECT_EQ(scene.shownAt(1.08), shade(2));
  EXPECT_FALSE(scene.track.shouldInvalidateLayout());
  EXPECT_EQ(scene.shownAt(2.0), shade(2)) << "the last frame stays on show";
}

TEST_ON_SCREEN_ACTOR(VideoTrackScreenObjectTests, CountsFramesPerSecondOfPresentationTime) {
  TrackScene scene;
  for (int n = 0; n < 30; ++n) {
    scene.enqueue(n % 5, 10.0 + n / 30.0);
    scene.shownAt(10.0 + n / 30.0);
  }
  EXPECT_EQ(scene.track.frameRate(), 1) << "the first frame closes the window that began at 0";
  scene.enqueue(0, 11.0);
  scene.shownAt(11.0);
  EXPECT_EQ(scene.track.frameRate(), 30);
}

// After a reset neither a frame still queued nor the one last shown comes
// back, on either renderer, and the next frame shows as before.
TEST_ON_SCREEN_ACTOR(VideoTrackScreenObjectTests, ResetForgetsQueuedFramesTheCountAndThePictureOnShow) {
  for (const bool gpu : {false, true}) {
    SCOPED_TRACE(gpu ? "GPU" : "CPU");
    TrackScene scene;
    scene.screen->setGPURendererEnabled(gpu);
    for (int n = 0; n <= 30; ++n) {
      scene.enqueue(n % 5, 10.0 + n / 30.0);
      scene.shownAt(10.0 + n / 30.0);
    }
    EXPECT_EQ(scene.track.frameRate(), 30);
    scene.enqueue(1, 11.04);
    EXPECT_EQ(scene.shownAt(11.02), shade(0)) << "the 11.0 frame on show, 11.04 waiting";
    scene.track.reset();
    EXPECT_TRUE(scene.track.shouldInvalidateLayout());
    EXPECT_EQ(scene.track.frameRate(), 0);
    EXPECT_EQ(scene.shownAt(11.05), black);
    EXPECT_EQ(scene.shownAt(11.10), black) << "stays blank while nothing is due";
    scene.enqueue(2, 11.2);
    EXPECT_EQ(scene.shownAt(11.2), shade(2));
    EXPECT_EQ(scene.shownAt(11.3), shade(2)) << "kept again once a frame was taken";
  }
}

// Queued frames are kept for reuse, but not their pictures: a skipped or reset
// frame lets its picture go at once, while a waiting one keeps it.
TEST_ON_SCREEN_ACTOR(VideoTrackScreenObjectTests, LetsThePicturesOfFramesItIsDoneWithGo) {
  TrackScene scene;
  std::vector<std::weak_ptr<platform::CVPixelBuffer>> pictures;
  for (int n = 0; n < 3; ++n) {
    auto picture = solidFrame(64, 36, shade(n));
    pictures.push_back(picture);
    scene.track.enqueue(frameAt(std::move(picture), 1.0 + n * 0.04));
  }
  EXPECT_EQ(scene.shownAt(1.05), shade(1));
  EXPECT_TRUE(pictures[0].expired()) << "skipped";
  EXPECT_FALSE(pictures[2].expired()) << "still waiting";
  scene.track.reset();
  EXPECT_TRUE(pictures[2].expired());
  scene.enqueue(2, 1.2);
  EXPECT_EQ(scene.shownAt(1.2), shade(2)) << "a reused frame shows its new picture";
}

TEST_ON_SCREEN_ACTOR(VideoTrackScreenObjectTests, SizesItselfToTheFrameUnderAspectFitOnly) {
  struct Case {
    platform::AVLayerVideoGravity gravity;
    platform::CGRect expected;
  } cases[] = {
      {platform::AVLayerVideoGravity::resizeAspect, {{0, 0}, {1280, 720}}},
      {platform::AVLayerVideoGravity::resizeAspectFill, {{0, 0}, {1280, 1280}}},
      {platform::AVLayerVideoGravity::resize, {{0, 0}, {1280, 1280}}},
  };
  for (const auto& c : cases) {
    auto parent = ScreenObjectContainer::make();
    parent->setSize({1280, 1280});
    parent->setBounds(parent->makeBounds(parent->size()));
    auto track = VideoTrackScreenObject::make();
    track->setVideoGravity(c.gravity);
    parent->addChild(track);
    EXPECT_EQ(track->makeBounds({0, 0}), (platform::CGRect{{0, 0}, {1280, 1280}})) << "no frame yet";
    track->enqueue(frameAt(solidFrame(1920, 1080, black), 1));
    EXPECT_EQ(track->makeBounds({0, 0}), c.expected);
  }
}

TEST_ON_SCREEN_ACTOR(VideoTrackScreenObjectTests, AspectFillCropsToTheCentreOfTheFrame) {
  TrackScene scene;
  auto left = solidFrame(64, 36, shade(0));
  for (int y = 0; y < 36; ++y) {  // right half a second shade
    for (int x = 32; x < 64; ++x) {
      std::uint8_t* p = left->baseAddress() + y * left->bytesPerRow() + x * 4;
      p[2] = shade(3)[1];
    }
  }
  scene.track.setVideoGravity(platform::AVLayerVideoGravity::resizeAspectFill);
  scene.track.setSize({18, 36});  // a tall box: only the middle 18 columns show
  scene.track.enqueue(frameAt(left, 1.0));
  auto frame = renderFrame(*scene.screen, 1.0);
  ASSERT_TRUE(frame);
  const int boxLeft = (64 - 18) / 2;
  EXPECT_EQ(pixel(*frame, boxLeft + 2, 18), shade(0));
  EXPECT_EQ(pixel(*frame, boxLeft + 15, 18), shade(3));
  EXPECT_EQ(pixel(*frame, boxLeft - 1, 18), black);
  EXPECT_EQ(pixel(*frame, boxLeft + 18, 18), black);
}

TEST_ON_SCREEN_ACTOR(VideoTrackScreenObjectTests, StreamObjectShowsItsLatestFrameAndDropsClearedContent) {
  auto screen = Screen::make();
  screen->setSize({64, 36});
  auto stream = StreamScreenObject::make();
  screen->addChild(stream);
  stream->setSampleBuffer(frameAt(solidFrame(64, 36, shade(1)), 1));
  EXPECT_EQ(pixel(*renderFrame(*screen, 1), 10, 10), shade(1));
  stream->setSampleBuffer(frameAt(solidFrame(64, 36, shade(2)), 2));
  EXPECT_EQ(pixel(*renderFrame(*screen, 2), 10, 10), shade(2));
  stream->setSampleBuffer(std::nullopt);
  EXPECT_EQ(pixel(*renderFrame(*screen, 3), 10, 10), black);
}
