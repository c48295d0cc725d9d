#include <gtest/gtest.h>

#include <array>

#include "Platform/CoreGraphics/CGContext.hpp"
#include "Platform/CoreGraphics/vImageOperations.hpp"

using namespace platform;
using Argb = std::array<std::uint8_t, 4>;

namespace {

Argb at(const vImage_Buffer& buffer, std::size_t x, std::size_t y) {
  const std::uint8_t* p = buffer.row(y) + x * 4;
  return {p[0], p[1], p[2], p[3]};
}

}  // namespace

TEST(vImageOperationsTests, AlphaBlendFollowsStraightAlphaOver) {
  struct Case {
    Argb top, bottom, expected;
  } cases[] = {
      {{0, 255, 255, 255}, {255, 10, 20, 30}, {255, 10, 20, 30}},     // clear top keeps the bottom
      {{255, 1, 2, 3}, {255, 10, 20, 30}, {255, 1, 2, 3}},            // opaque top replaces it
      {{128, 255, 0, 0}, {255, 0, 0, 255}, {255, 128, 0, 127}},       // half over opaque
      {{128, 255, 0, 0}, {0, 0, 0, 0}, {128, 255, 0, 0}},             // over nothing keeps the colour
      {{128, 0, 255, 0}, {128, 0, 0, 255}, {192, 0, 170, 85}},        // both translucent
  };
  for (const auto& c : cases) {
    // 17 pixels: the vectorised body and its tail both run.
    vImagePixelBuffer top, bottom;
    top.reshape(17, 2, 4);
    bottom.reshape(17, 2, 4);
    vImageBufferFill_ARGB8888(top.buffer(), c.top);
    vImageBufferFill_ARGB8888(bottom.buffer(), c.bottom);
    vImageAlphaBlend_ARGB8888(top.buffer(), bottom.buffer(), bottom.buffer());
    for (std::size_t x : {0u, 15u, 16u}) {
      const Argb got = at(bottom.buffer(), x, 1);
      for (int channel = 0; channel < 4; ++channel) EXPECT_NEAR(got[channel], c.expected[channel], 1) << x;
    }
  }
}

TEST(vImageOperationsTests, MasksScaleTheAlphaAndLeaveTheColour) {
  vImagePixelBuffer image, plane;
  image.reshape(3, 2, 4);
  plane.reshape(3, 2, 1);
  vImageBufferFill_ARGB8888(image.buffer(), {200, 10, 20, 30});
  for (std::size_t y = 0; y < 2; ++y) {
    plane.buffer().row(y)[0] = 0, plane.buffer().row(y)[1] = 128, plane.buffer().row(y)[2] = 255;
  }
  vImageMultiplyAlpha_ARGB8888(plane.buffer(), image.buffer());
  EXPECT_EQ(at(image.buffer(), 0, 1), (Argb{0, 10, 20, 30}));
  EXPECT_EQ(at(image.buffer(), 1, 1), (Argb{100, 10, 20, 30}));
  EXPECT_EQ(at(image.buffer(), 2, 0), (Argb{200, 10, 20, 30})) << "a translucent picture stays translucent";
}

TEST(vImageOperationsTests, PlanarFloatRoundTripKeepsTheBytes) {
  vImagePixelBuffer image, back;
  std::array<vImagePixelBuffer, 4> planes;
  image.reshape(256, 1, 4);
  back.reshape(256, 1, 1);
  for (auto& plane : planes) plane.reshape(256, 1, 4);
  for (std::size_t x = 0; x < 256; ++x) image.buffer().row(0)[x * 4 + 2] = static_cast<std::uint8_t>(x);
  const std::array<vImage_Buffer, 4> views{planes[0].buffer(), planes[1].buffer(), planes[2].buffer(), planes[3].buffer()};
  vImageConvert_ARGB8888toPlanarF(image.buffer(), views, {1, 1, 1, 1}, {0, 0, 0, 0});
  EXPECT_FLOAT_EQ(reinterpret_cast<const float*>(views[2].row(0))[255], 1.0f);
  vImageConvert_PlanarFtoPlanar8(views[2], back.buffer(), 1.0f, 0.0f);
  for (std::size_t x = 0; x < 256; ++x) ASSERT_EQ(back.buffer().row(0)[x], x);
}

TEST(vImageOperationsTests, RoundedRectanglesCoverTheirInsideOnly) {
  auto context = CGContext::makeBitmap(40, 20, CGContext::Kind::gray8);
  ASSERT_TRUE(context);
  context->fillRoundedRect({{0, 0}, {40, 20}}, 1e6, CGColor::white());  // clamped to a capsule
  auto mask = context->makeImage();
  const auto value = [&](int x, int y) { return mask->data()[y * mask->bytesPerRow() + x]; };
  EXPECT_EQ(value(20, 10), 255);
  EXPECT_EQ(value(0, 0), 0);
  EXPECT_EQ(value(39, 19), 0);
  EXPECT_EQ(value(20, 0), 255);
  EXPECT_FALSE(CGContext::makeBitmap(0, 20, CGContext::Kind::gray8));
  EXPECT_FALSE(CGContext::makeBitmap(16385, 1, CGContext::Kind::rgba));
}
