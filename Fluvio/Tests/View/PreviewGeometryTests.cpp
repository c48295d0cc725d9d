#include <gtest/gtest.h>

#include "Fluvio/Sources/View/PreviewGeometry.hpp"

namespace fluvio {
namespace {

using platform::AVLayerVideoGravity;

TEST(PreviewGeometryTest, FitsAPictureByGravity) {
  struct Case {
    AVLayerVideoGravity gravity;
    platform::CGSize drawable, picture;
    double scaleX, scaleY, offsetX, offsetY;
  } const cases[] = {
      // Centred vertically: the offset is in picture units.
      {AVLayerVideoGravity::resizeAspect, {1000, 1000}, {1920, 1080}, 0.5208333, 0.5208333, 0, 420},
      {AVLayerVideoGravity::resizeAspectFill, {1000, 1000}, {1920, 1080}, 0.9259259, 0.9259259, -420, 0},
      {AVLayerVideoGravity::resizeAspect, {400, 300}, {320, 180}, 1.25, 1.25, 0, 30},
      {AVLayerVideoGravity::resize, {1000, 1000}, {1920, 1080}, 0.5208333, 0.9259259, 0, 0},
      {AVLayerVideoGravity::resizeAspect, {1000, 1000}, {0, 1080}, 0, 0, 0, 0},
      {AVLayerVideoGravity::resizeAspectFill, {0, 0}, {1920, 1080}, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const PreviewFit fit = previewFit(c.gravity, c.drawable, c.picture);
    EXPECT_NEAR(fit.scaleX, c.scaleX, 1e-6) << c.picture.width;
    EXPECT_NEAR(fit.scaleY, c.scaleY, 1e-6) << c.picture.width;
    EXPECT_NEAR(fit.offset.x, c.offsetX, 1e-6) << c.picture.width;
    EXPECT_NEAR(fit.offset.y, c.offsetY, 1e-6) << c.picture.width;
  }
}

TEST(PreviewGeometryTest, DestinationIsThePictureWhereTheFitPutsIt) {
  const platform::CGSize picture{320, 180};
  const auto inside = previewFit(AVLayerVideoGravity::resizeAspect, {400, 300}, picture).destination(picture);
  EXPECT_EQ(inside, (platform::CGRect{{0, 37.5}, {400, 225}}));
  const auto filled = previewFit(AVLayerVideoGravity::resizeAspectFill, {400, 300}, picture).destination(picture);
  EXPECT_NEAR(filled.origin.x, -66.6666667, 1e-6);
  EXPECT_NEAR(filled.size.width, 533.3333333, 1e-6);
  EXPECT_EQ(filled.size.height, 300);
}

}  // namespace
}  // namespace fluvio
