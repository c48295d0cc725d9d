#include <gtest/gtest.h>

#include "Fluvio/Sources/Screen/ImageScreenObject.hpp"
#include "Fluvio/Sources/Screen/ScreenRendererByCPU.hpp"
#include "Fluvio/Tests/Screen/ScreenTestSupport.hpp"

using namespace fluvio;
using namespace fluvio::testing;
using platform::CGColor;

namespace {

// The renderer starts on transparent black until a background colour is set.
constexpr Argb black{0, 0, 0, 0};
constexpr Argb red{255, 255, 0, 0};

}  // namespace

TEST(ScreenRendererByCPUTests, BackgroundColourBytesFollowTheComponentCount) {
  struct Case {
    CGColor color;
    Argb expected;
  } cases[] = {
      {CGColor::genericRGB(1, 0, 0, 1), {255, 255, 0, 0}},
      {CGColor::genericGray(0.5, 1), {255, 127, 127, 127}},
      {CGColor{{0.2, 0.4, 1.0}}, {255, 51, 102, 102}},
      {CGColor{{0.5}}, {255, 51, 102, 102}},  // unreadable: kept
  };
  ScreenRendererByCPU renderer(DynamicRangeMode::sdr);
  for (const auto& c : cases) {
    renderer.setBackgroundColor(c.color);
    EXPECT_EQ(renderer.backgroundColorUInt8Array(), c.expected);
  }
}

TEST_ON_SCREEN_ACTOR(ScreenRendererByCPUTests, ClipsObjectsAtEveryEdgeOfTheCanvas) {
  // Margins place the image's top-left; negative margins push it off the canvas.
  struct Case {
    const char* name;
    platform::CGPoint origin;
    int left, top;  // expected drawn rectangle, clipped
    int right, bottom;
  } cases[] = {
      {"inside", {5, 6}, 5, 6, 25, 16},
      {"off the left and top", {-7, -3}, 0, 0, 13, 7},
      {"off the right and bottom", {54, 43}, 54, 43, 64, 48},
      {"wholly off", {70, 50}, 0, 0, 0, 0},
      {"far off negative", {-1000, -1000}, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    ImageScene scene(c.origin, red);
    const auto frame = renderFrame(*scene.screen, 1.0);
    ASSERT_TRUE(frame) << c.name;
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        const bool inside = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
        ASSERT_EQ(pixel(*frame, x, y), inside ? red : black) << c.name << " at " << x << "," << y;
      }
    }
  }
}

TEST_ON_SCREEN_ACTOR(ScreenRendererByCPUTests, RoundsCornersAndClampsRadiiBeyondHalfTheShorterSide) {
  for (double radius : {5.0, 1e9}) {
    ImageScene scene({10, 10}, red);
    scene.image->setCornerRadius(radius);
    const auto frame = renderFrame(*scene.screen, 1.0);
    ASSERT_TRUE(frame);
    EXPECT_EQ(pixel(*frame, 10, 10), black) << radius;  // corner cut away
    EXPECT_EQ(pixel(*frame, 29, 19), black) << radius;
    EXPECT_EQ(pixel(*frame, 20, 15), red) << radius;  // centre kept
  }
  ImageScene scene({10, 10}, red);
  scene.image->setCornerRadius(2);
  const auto frame = renderFrame(*scene.screen, 1.0);
  EXPECT_EQ(pixel(*frame, 15, 10), red);  // beyond a small radius the edge is whole
}

TEST_ON_SCREEN_ACTOR(ScreenRendererByCPUTests, SharesOneMaskPerSizeAndRadius) {
  ImageScene scene({0, 0}, red);
  auto second = ImageScreenObject::make();
  second->setCGImage(solidImage(20, 10, red));
  for (auto object : {std::static_pointer_cast<ScreenObject>(scene.image), std::static_pointer_cast<ScreenObject>(second)}) {
    object->setCornerRadius(4);
  }
  scene.screen->addChild(second);
  ASSERT_TRUE(renderFrame(*scene.screen, 1.0));
  auto& renderer = static_cast<ScreenRendererByCPU&>(scene.screen->renderer());
  EXPECT_EQ(renderer.shapeFactory().cachedMaskCount(), 1u);
  second->setCornerRadius(5);
  second->invalidateLayout();
  ASSERT_TRUE(renderFrame(*scene.screen, 2.0));
  EXPECT_EQ(renderer.shapeFactory().cachedMaskCount(), 2u);
}

TEST_ON_SCREEN_ACTOR(ScreenRendererByCPUTests, BlendsTranslucentPicturesOverTheCanvas) {
  ImageScene scene({0, 0}, red);
  scene.image->setCGImage(solidImage(20, 10, {128, 0, 0, 255}));
  scene.screen->setBackgroundColor(CGColor::genericRGB(1, 0, 0, 1));
  const auto frame = renderFrame(*scene.screen, 1.0);
  const Argb blended = pixel(*frame, 3, 3);
  EXPECT_EQ(blended[0], 255);
  EXPECT_NEAR(blended[1], 127, 1);
  EXPECT_NEAR(blended[3], 128, 1);
  EXPECT_EQ(pixel(*frame, 30, 30), red);
}

// Corners cut into the picture's own alpha instead of replacing it: a
// half-transparent picture stays half transparent inside the rounded corners,
// as the GPU renderer's mask keeps it.
TEST_ON_SCREEN_ACTOR(ScreenRendererByCPUTests, RoundedCornersKeepThePicturesOwnTransparency) {
  for (const bool gpu : {false, true}) {
    ImageScene scene({0, 0}, {128, 0, 0, 255}, gpu);
    scene.image->setCornerRadius(4);
    scene.screen->setBackgroundColor(CGColor::genericRGB(1, 0, 0, 1));
    const auto frame = renderFrame(*scene.screen, 1.0);
    ASSERT_TRUE(frame);
    const Argb blended = pixel(*frame, 10, 5);
    EXPECT_NEAR(blended[1], 127, 2) << (gpu ? "GPU" : "CPU");
    EXPECT_NEAR(blended[3], 128, 2) << (gpu ? "GPU" : "CPU");
    EXPECT_EQ(pixel(*frame, 0, 0), red) << "the corner shows the background";
  }
}

TEST_ON_SCREEN_ACTOR(ScreenRendererByCPUTests, ClearedContentDisappearsInsteadOfDrawingTheStalePicture) {
  ImageScene scene({0, 0}, red);
  ASSERT_EQ(pixel(*renderFrame(*scene.screen, 1.0), 1, 1), red);
  scene.image->setCGImage(nullptr);
  EXPECT_EQ(pixel(*renderFrame(*scene.screen, 2.0), 1, 1), black);
}

TEST_ON_SCREEN_ACTOR(ScreenRendererByCPUTests, InvisibleContainersDrawNoneOfTheirChildren) {
  ImageScene scene({0, 0}, red);
  auto group = ScreenObjectContainer::make();
  auto inner = ImageScreenObject::make();
  inner->setCGImage(solidImage(4, 4, red));
  inner->setLayoutMargin({40, 40, 0, 0});
  group->addChild(inner);
  scene.screen->addChild(group);
  EXPECT_EQ(pixel(*renderFrame(*scene.screen, 1.0), 41, 41), red);
  group->setVisible(false);
  EXPECT_EQ(pixel(*renderFrame(*scene.screen, 2.0), 41, 41), black);
  EXPECT_EQ(pixel(*renderFrame(*scene.screen, 2.0), 1, 1), red);
}
