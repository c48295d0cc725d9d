#include <gtest/gtest.h>

#include <cmath>

extern "C" {
#include <libavutil/frame.h>
}

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

// Every row of a screen-sized picture must land in its place, at video range.
TEST(VTPixelTransfer, EveryRowOfAScreenSizedPictureLandsInPlaceAtVideoRange) {
  constexpr int width = 1280;
  constexpr int height = 720;
  const auto grey = [](int row) { return (row * 7) % 256; };
  const auto source = CVPixelBuffer::make(width, height, kCVPixelFormatType_32BGRA).value;
  source->lockBaseAddress(0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = source->baseAddress() + y * source->bytesPerRow();
    for (int x = 0; x < width; ++x) {
      row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = static_cast<std::uint8_t>(grey(y));
      row[4 * x + 3] = 255;
    }
  }
  AVFrame* frame = av_frame_alloc();
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = width;
  frame->height = height;
  ASSERT_EQ(av_frame_get_buffer(frame, 0), 0);

  VTPixelTransfer transfer;
  for (int pass = 0; pass < 2; ++pass) {  // the second reuses the context
    ASSERT_TRUE(transfer.transfer(*VTImagePlanes::of(*source), VTImagePlanes::of(*frame), VTScalingMode::trim));
    int misplaced = 0;
    for (int y = 0; y < height; ++y) {
      const double expected = 16 + grey(y) * 219.0 / 255.0;
      for (const int x : {0, width / 2, width - 1}) {
        if (std::abs(frame->data[0][y * frame->linesize[0] + x] - expected) > 1) ++misplaced;
      }
    }
    EXPECT_EQ(misplaced, 0);
    for (int y = 0; y < height / 2; ++y) {
      EXPECT_NEAR(frame->data[1][y * frame->linesize[1] + width / 4], 128, 1) << y;
      EXPECT_NEAR(frame->data[2][y * frame->linesize[2] + width / 4], 128, 1) << y;
    }
  }
  source->unlockBaseAddress(0);
  av_frame_free(&frame);
}

}  // namespace
}  // namespace platform
