#include <gtest/gtest.h>

#include "Fluvio/Sources/Screen/ImageScreenObject.hpp"
#include "Fluvio/Sources/Screen/RoundedRectangleFactory.hpp"
#include "Fluvio/Sources/Screen/ScreenRendererByGPU.hpp"
#include "Fluvio/Tests/Screen/ScreenTestSupport.hpp"

using namespace fluvio;
using namespace fluvio::testing;

namespace {

constexpr Argb clear{0, 0, 0, 0};
constexpr Argb red{255, 255, 0, 0};

// The GPU renderer's scene, with the image in a place of `place`.
struct GPUScene : ImageScene {
  explicit GPUScene(platform::CGSize place) : ImageScene({0, 0}, red, true) { image->setSize(place); }
  const RoundedRectangleFactory& masks() {
    return static_cast<ScreenRendererByGPU&>(screen->renderer()).roundedRectangleFactory();
  }
};

}  // namespace

TEST_ON_SCREEN_ACTOR(ScreenRendererByGPUTests, MasksAreMadeOncePerSizeAndRadius) {
  RoundedRectangleFactory factory;
  const auto mask = factory.cornerRadius({20, 10}, 4);
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->extent(), (platform::CGRect{{0, 0}, {20, 10}}));
  EXPECT_EQ(factory.cornerRadius({20, 10}, 4), mask) << "a hit returns the cached mask";
  EXPECT_EQ(factory.cachedMaskCount(), 1u);
  const auto otherRadius = factory.cornerRadius({20, 10}, 5);
  const auto otherSize = factory.cornerRadius({10, 20}, 4);
  ASSERT_TRUE(otherRadius && otherSize);
  EXPECT_NE(otherRadius, mask);
  EXPECT_EQ(otherSize->extent(), (platform::CGRect{{0, 0}, {10, 20}}));
  EXPECT_EQ(factory.cachedMaskCount(), 3u);
  EXPECT_FALSE(factory.cornerRadius({0, 10}, 4)) << "no area, no mask";
  EXPECT_EQ(factory.cachedMaskCount(), 3u);

  // In the renderer: two objects of one size and radius share a mask, and a
  // layout again rebuilds none.
  GPUScene scene({20, 10});
  auto second = ImageScreenObject::make();
  second->setCGImage(solidImage(20, 10, red));
  second->setLayoutMargin({20, 30, 0, 0});
  scene.screen->addChild(second);
  scene.image->setCornerRadius(4);
  second->setCornerRadius(4);
  ASSERT_TRUE(renderFrame(*scene.screen, 1.0));
  EXPECT_EQ(scene.masks().cachedMaskCount(), 1u);
  scene.image->invalidateLayout();
  ASSERT_TRUE(renderFrame(*scene.screen, 2.0));
  EXPECT_EQ(scene.masks().cachedMaskCount(), 1u);
  second->setCornerRadius(5);
  second->invalidateLayout();
  ASSERT_TRUE(renderFrame(*scene.screen, 3.0));
  EXPECT_EQ(scene.masks().cachedMaskCount(), 2u);
}

// The mask has the size of the object's place, not of its picture: a
// picture half as high as its place keeps its top-left corner, which a mask of
// the picture's own size would cut.
TEST_ON_SCREEN_ACTOR(ScreenRendererByGPUTests, TheMaskIsSizedByThePlaceNotThePicture) {
  GPUScene filled({20, 10});
  filled.image->setCornerRadius(4);
  auto frame = renderFrame(*filled.screen, 1.0);
  ASSERT_TRUE(frame);
  EXPECT_EQ(pixel(*frame, 0, 0), clear);
  EXPECT_EQ(pixel(*frame, 0, 9), clear);
  EXPECT_EQ(pixel(*frame, 10, 5), red);

  GPUScene higher({20, 20});
  higher.image->setCornerRadius(4);
  frame = renderFrame(*higher.screen, 1.0);
  ASSERT_TRUE(frame);
  EXPECT_EQ(pixel(*frame, 0, 0), red);
  EXPECT_EQ(pixel(*frame, 0, 9), clear);
  EXPECT_EQ(pixel(*frame, 10, 5), red);
}
