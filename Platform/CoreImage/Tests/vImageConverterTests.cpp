#include <gtest/gtest.h>

#include <cstdlib>

#include "Platform/CoreImage/vImageConverter.hpp"

namespace platform {
namespace {

const vImage_CGImageFormat argb{8, 32, CGColorSpaceCreateWithName(kCGColorSpaceDeviceRGB)};

vImageCVImageFormat formatOf(OSType pixelFormatType) { return {pixelFormatType, nullptr}; }

TEST(vImageConverterTests, IsMadeOnlyForConversionsItCanDo) {
  EXPECT_NO_THROW(vImageConverter::make(argb, formatOf(kCVPixelFormatType_420YpCbCr8BiPlanarFullRange)));
  EXPECT_NO_THROW(vImageConverter::make(argb, formatOf(kCVPixelFormatType_32BGRA)));
  EXPECT_THROW(vImageConverter::make(argb, formatOf(fourCC("none"))), vImageConverter::Error);
  EXPECT_THROW(vImageConverter::make({16, 64, nullptr}, formatOf(kCVPixelFormatType_32BGRA)), vImageConverter::Error);
}

TEST(vImageConverterTests, WritesOnlyBuffersOfItsFormatAndTheBitmapsSize) {
  vImagePixelBuffer bitmap;
  ASSERT_TRUE(bitmap.reshape(8, 4, 4));
  for (std::size_t row = 0; row < 4; ++row) {
    for (std::size_t column = 0; column < 8; ++column) {
      std::uint8_t* pixel = bitmap.buffer().row(row) + column * 4;
      pixel[0] = 255, pixel[1] = 200, pixel[2] = 40, pixel[3] = 10;
    }
  }
  auto converter = vImageConverter::make(argb, formatOf(kCVPixelFormatType_32BGRA));
  auto target = CVPixelBuffer::make(8, 4, kCVPixelFormatType_32BGRA).value;
  ASSERT_TRUE(converter->convert(bitmap.buffer(), *target));
  const std::uint8_t* written = target->baseAddress() + 3 * target->bytesPerRow() + 7 * 4;
  EXPECT_EQ((std::array<int, 4>{written[0], written[1], written[2], written[3]}), (std::array<int, 4>{10, 40, 200, 255}));

  // A bigger buffer would read past the bitmap; another format is not what it was made for.
  auto bigger = CVPixelBuffer::make(16, 4, kCVPixelFormatType_32BGRA).value;
  EXPECT_FALSE(converter->convert(bitmap.buffer(), *bigger));
  auto other = CVPixelBuffer::make(8, 4, kCVPixelFormatType_420YpCbCr8BiPlanarFullRange).value;
  EXPECT_FALSE(converter->convert(bitmap.buffer(), *other));
}

}  // namespace
}  // namespace platform
