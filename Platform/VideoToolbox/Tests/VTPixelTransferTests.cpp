#include <gtest/gtest.h>

#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

namespace platform {
namespace {

TEST(VTPlacement, EachScalingModePlacesTheSourceItsWay) {
  // A 4:3 source into a 16:9 picture.
  EXPECT_EQ(VTPlacement::make(640, 480, 1280, 720, VTScalingMode::letterbox),
            (VTPlacement{{0, 0, 640, 480}, {160, 0, 960, 720}}));
  EXPECT_EQ(VTPlacement::make(640, 480, 1280, 720, VTScalingMode::trim),
            (VTPlacement{{0, 60, 640, 360}, {0, 0, 1280, 720}}));
  EXPECT_EQ(VTPlacement::make(640, 480, 1280, 720, VTScalingMode::cropSourceToCleanAperture),
            (VTPlacement{{0, 0, 640, 480}, {0, 0, 1280, 720}}));
  EXPECT_EQ(VTPlacement::make(640, 480, 1280, 720, VTScalingMode::normal),
            (VTPlacement{{0, 0, 640, 480}, {0, 0, 640, 480}}));
  // A larger source is cut at the destination's size, unscaled.
  EXPECT_EQ(VTPlacement::make(1920, 1080, 1280, 720, VTScalingMode::normal),
            (VTPlacement{{0, 0, 1280, 720}, {0, 0, 1280, 720}}));
}

TEST(VTPlacement, OffsetsStayEvenAndInsideForOddAndExtremeShapes) {
  for (const auto mode : {VTScalingMode::letterbox, VTScalingMode::trim}) {
    for (const auto& [sourceWidth, sourceHeight] : {std::pair{1, 16384}, std::pair{16384, 1}, std::pair{333, 777}}) {
      const auto placement = VTPlacement::make(sourceWidth, sourceHeight, 1280, 720, mode);
      for (const auto& [rect, width, height] :
           {std::tuple{placement.source, sourceWidth, sourceHeight}, std::tuple{placement.destination, 1280, 720}}) {
        EXPECT_EQ(rect.x % 2, 0);
        EXPECT_EQ(rect.y % 2, 0);
        EXPECT_GE(rect.width, 1);
        EXPECT_GE(rect.height, 1);
        EXPECT_LE(rect.x + rect.width, width);
        EXPECT_LE(rect.y + rect.height, height);
      }
    }
  }
}

TEST(VTPixelTransfer, ScalingModesReadTheirPlatformNames) {
  EXPECT_EQ(scalingModeFromString("Trim"), VTScalingMode::trim);
  EXPECT_EQ(scalingModeFromString("Letterbox"), VTScalingMode::letterbox);
  EXPECT_EQ(scalingModeFromString("trim"), std::nullopt);
}

}  // namespace
}  // namespace platform
