#include <gtest/gtest.h>

#include <array>

#include "Platform/CoreImage/CIContext.hpp"

using namespace platform;
using Argb = std::array<std::uint8_t, 4>;

namespace {

Argb at(const CGImage& image, std::size_t x, std::size_t y) {
  const std::uint8_t* p = image.data() + y * image.bytesPerRow() + x * 4;
  return {p[0], p[1], p[2], p[3]};
}

// A 4x2 BGRA buffer: top row red, bottom row blue.
std::shared_ptr<CVPixelBuffer> twoRows() {
  auto buffer = CVPixelBuffer::make(4, 2, kCVPixelFormatType_32BGRA).value;
  for (int x = 0; x < 4; ++x) {
    std::uint8_t* top = buffer->baseAddress() + x * 4;
    std::uint8_t* bottom = buffer->baseAddress() + buffer->bytesPerRow() + x * 4;
    top[0] = 0, top[1] = 0, top[2] = 255, top[3] = 255;
    bottom[0] = 255, bottom[1] = 0, bottom[2] = 0, bottom[3] = 255;
  }
  return buffer;
}

constexpr Argb red{255, 255, 0, 0};
constexpr Argb blue{255, 0, 0, 255};
constexpr Argb clear{0, 0, 0, 0};

}  // namespace

TEST(CIContextTests, SourcesKeepTheirTopRowOnTopThroughMovesAndCrops) {
  auto context = CIContext::make();
  const auto source = CIImage::pixelBuffer(twoRows());
  struct Case {
    const char* name;
    CIImage::Pointer image;
    CGRect rect;
    std::vector<std::pair<std::array<int, 2>, Argb>> expected;
  } cases[] = {
      {"as is", source, {{0, 0}, {4, 2}}, {{{0, 0}, red}, {{3, 1}, blue}}},
      {"moved up by one", source->transformed({1, 0, 0, 1, 0, 1}), {{0, 0}, {4, 3}},
       {{{0, 0}, red}, {{0, 1}, blue}, {{0, 2}, clear}}},
      {"cropped to the top row", source->cropped({{0, 1}, {4, 1}}), {{0, 0}, {4, 2}},
       {{{1, 0}, red}, {{1, 1}, clear}}},
      {"over a colour", source->cropped({{0, 0}, {2, 2}})->compositedOver(CIImage::color({0, 1, 0, 1})),
       {{0, 0}, {4, 2}}, {{{0, 0}, red}, {{2, 0}, {255, 0, 255, 0}}, {{1, 1}, blue}}},
      {"scaled by two (the fast path)", source->transformed(CGAffineTransform::makeScale(2, 2)),
       {{0, 0}, {8, 4}}, {{{0, 0}, red}, {{7, 3}, blue}}},
  };
  for (const auto& c : cases) {
    auto image = context->createCGImage(*c.image, c.rect);
    ASSERT_TRUE(image) << c.name;
    for (const auto& [point, colour] : c.expected) {
      EXPECT_EQ(at(*image, point[0], point[1]), colour) << c.name << " at " << point[0] << "," << point[1];
    }
  }
}

TEST(CIContextTests, AlphaMasksAndColourKeysShapeTheAlpha) {
  auto context = CIContext::make();
  const auto square = CIImage::color({1, 1, 1, 1})->cropped({{0, 0}, {20, 20}});
  const auto rounded = square->blendedWithAlphaMask(CIImage::roundedRectangle({{0, 0}, {20, 20}}, 6));
  auto image = context->createCGImage(*rounded, {{0, 0}, {20, 20}});
  EXPECT_EQ(at(*image, 0, 0)[0], 0);
  EXPECT_EQ(at(*image, 10, 10)[0], 255);
  EXPECT_EQ(at(*image, 10, 0)[0], 255);

  std::vector<std::uint16_t> keepRed(8, 0);
  keepRed[4] = keepRed[5] = keepRed[6] = keepRed[7] = 65535;  // opaque where red is 1
  auto table = vImageMultidimensionalTable::make(keepRed, 2);
  const auto keyed = CIImage::pixelBuffer(twoRows())->keyedByColorTable(table);
  image = context->createCGImage(*keyed, {{0, 0}, {4, 2}});
  EXPECT_EQ(at(*image, 2, 0), red);
  EXPECT_EQ(at(*image, 2, 1)[0], 0);
}

TEST(CIContextTests, RendersIntoPixelBuffersOfEachFormat) {
  auto context = CIContext::make();
  for (OSType format : {kCVPixelFormatType_32ARGB, kCVPixelFormatType_32BGRA,
                        kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange}) {
    auto target = CVPixelBuffer::make(16, 8, format).value;
    ASSERT_TRUE(context->render(*CIImage::color({1, 1, 1, 1}), *target, {{0, 0}, {16, 8}})) << format;
    EXPECT_GE(target->baseAddress()[5 * target->bytesPerRow() + 9], 234) << format;
  }
}

TEST(CIContextTests, DrawsOverAKeptBitmapOnlyWhenNothingElseShowsIt) {
  auto context = CIContext::make();
  const auto redImage = CIImage::color({1, 0, 0, 1})->cropped({{0, 0}, {4, 2}});
  const auto blueImage = CIImage::color({0, 0, 1, 1})->cropped({{0, 0}, {4, 2}});
  auto kept = context->createCGImage(*redImage, redImage->extent());
  const CGImage* address = kept.get();

  // Free and of the same size: drawn over.
  kept = context->createCGImage(*blueImage, blueImage->extent(), std::move(kept));
  EXPECT_EQ(kept.get(), address);
  EXPECT_EQ(at(*kept, 3, 1), blue);

  // Still shown elsewhere, whole or as a crop: left as it is.
  for (const bool asCrop : {false, true}) {
    auto candidate = context->createCGImage(*blueImage, blueImage->extent());
    const CGImage* candidateAddress = candidate.get();
    const std::shared_ptr<const CGImage> shown =
        asCrop ? std::shared_ptr<const CGImage>(candidate->cropping({{0, 0}, {2, 1}})) : candidate;
    auto made = context->createCGImage(*redImage, redImage->extent(), std::move(candidate));
    EXPECT_NE(made.get(), candidateAddress) << asCrop;
    EXPECT_EQ(at(*made, 0, 0), red) << asCrop;
    EXPECT_EQ(at(*shown, 0, 0), blue) << asCrop;
  }

  // Another size: a new bitmap.
  const auto wider = CIImage::color({1, 0, 0, 1})->cropped({{0, 0}, {5, 2}});
  auto made = context->createCGImage(*wider, wider->extent(), std::move(kept));
  EXPECT_NE(made.get(), address);
  EXPECT_EQ(made->width(), 5u);
}

// A hundred faint white layers over black add up to about a tenth of white
// (1 - 0.999^100) when the context composes in half floats; composed in
// 8 bits each layer's share rounds away. The CPU context always keeps it.
TEST(CIContextTests, TheHalfFloatWorkingFormatKeepsFaintLayers) {
  const CGRect area{{0, 0}, {4, 4}};
  auto image = CIImage::color({0, 0, 0, 1})->cropped(area);
  for (int layer = 0; layer < 100; ++layer) image = CIImage::color({1, 1, 1, 0.001f})->cropped(area)->compositedOver(image);
  const auto grayOf = [&](CIContext& context) { return int(at(*context.createCGImage(*image, area), 2, 2)[1]); };

  EXPECT_NEAR(grayOf(*CIContext::make({CIFormat::RGBAh})), 24, 1);
  EXPECT_NEAR(grayOf(*CIContext::make()), 24, 1);
  auto halfFloats = CIContext::makeGPU({CIFormat::RGBAh});
  auto bytes = CIContext::makeGPU();
  if (!halfFloats || !bytes) GTEST_SKIP() << "no OpenGL ES 3 display (EGL surfaceless) could be opened";
  EXPECT_NEAR(grayOf(*halfFloats), 24, 1);
  EXPECT_LT(grayOf(*bytes), 12);
}
