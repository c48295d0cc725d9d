#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "Platform/VideoToolbox/VTBGRAToYUV420.hpp"
#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

namespace platform {
namespace {

struct Pixel {
  std::uint8_t blue, green, red;
};

AVFrame* makePlanar(int width, int height) {
  AVFrame* frame = av_frame_alloc();
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = width;
  frame->height = height;
  if (av_frame_get_buffer(frame, 0) < 0) av_frame_free(&frame);
  return frame;
}

// What swscale makes of the picture with the settings the transfer uses.
void scaleGenerally(const CVPixelBuffer& source, AVFrame& destination) {
  const int width = destination.width, height = destination.height;
  SwsContext* context =
      sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(context, coefficients, 0, coefficients, 0, 0, 1 << 16, 1 << 16);
  const std::uint8_t* planes[] = {source.baseAddress()};
  const int linesizes[] = {static_cast<int>(source.bytesPerRow())};
  sws_scale(context, planes, linesizes, 0, height, destination.data, destination.linesize);
  sws_freeContext(context);
}

VTImagePlanes planes(AVPixelFormat format, int width, int height, bool fullRange = false) {
  VTImagePlanes result;
  result.format = format;
  result.width = width;
  result.height = height;
  result.fullRange = fullRange;
  return result;
}

TEST(VTBGRAToYUV420, TakesSameSizedBGRAIntoVideoRangeEvenSizedWhenPlanar) {
  const auto bgra = planes(AV_PIX_FMT_BGRA, 64, 36);
  EXPECT_TRUE(VTBGRAToYUV420::accepts(bgra, planes(AV_PIX_FMT_YUV420P, 64, 36)));
  EXPECT_TRUE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGRA, 2, 2), planes(AV_PIX_FMT_YUV420P, 2, 2)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGRA, 0, 0), planes(AV_PIX_FMT_YUV420P, 0, 0)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGRA, 63, 36), planes(AV_PIX_FMT_YUV420P, 63, 36)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGRA, 64, 35), planes(AV_PIX_FMT_YUV420P, 64, 35)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(bgra, planes(AV_PIX_FMT_YUV420P, 64, 38)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(bgra, planes(AV_PIX_FMT_YUV420P, 64, 36, true)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_ARGB, 64, 36), planes(AV_PIX_FMT_YUV420P, 64, 36)));
  // A screen's BGRX, and bi-planar destinations of any size.
  EXPECT_TRUE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGR0, 64, 36), planes(AV_PIX_FMT_YUV420P, 64, 36)));
  EXPECT_TRUE(VTBGRAToYUV420::accepts(bgra, planes(AV_PIX_FMT_NV12, 64, 36)));
  EXPECT_TRUE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGR0, 63, 35), planes(AV_PIX_FMT_NV12, 63, 35)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(bgra, planes(AV_PIX_FMT_NV12, 64, 36, true)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(bgra, planes(AV_PIX_FMT_NV12, 62, 36)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGR0, 0, 0), planes(AV_PIX_FMT_NV12, 0, 0)));
}

using Picture = std::function<Pixel(int, int)>;

struct Difference {
  int largest = 0;
  double mean = 0;
  int apart = 0;  // samples more than one step apart
};

// How far the transfer's plane lies from swscale's, over the samples `counted` takes.
struct Comparison {
  Comparison(int width, int height, const Picture& pixel) : width(width), height(height) {
    const auto source = CVPixelBuffer::make(width, height, kCVPixelFormatType_32BGRA).value;
    source->lockBaseAddress(0);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const Pixel colour = pixel(x, y);
        std::uint8_t* at = source->baseAddress() + y * source->bytesPerRow() + 4 * x;
        at[0] = colour.blue;
        at[1] = colour.green;
        at[2] = colour.red;
        at[3] = 255;
      }
    }
    direct = makePlanar(width, height);
    general = makePlanar(width, height);
    VTBGRAToYUV420::convert(*VTImagePlanes::of(*source), VTImagePlanes::of(*direct));
    scaleGenerally(*source, *general);
    source->unlockBaseAddress(0);
  }
  ~Comparison() {
    av_frame_free(&direct);
    av_frame_free(&general);
  }

  Difference of(int plane, const std::function<bool(int, int)>& counted = [](int, int) { return true; }) const {
    const int planeWidth = plane ? width / 2 : width, planeHeight = plane ? height / 2 : height;
    Difference difference;
    long total = 0, samples = 0;
    for (int y = 0; y < planeHeight; ++y) {
      for (int x = 0; x < planeWidth; ++x) {
        if (!counted(x, y)) continue;
        const int apart = std::abs(direct->data[plane][y * direct->linesize[plane] + x] -
                                   general->data[plane][y * general->linesize[plane] + x]);
        difference.largest = std::max(difference.largest, apart);
        difference.apart += apart > 1;
        total += apart;
        ++samples;
      }
    }
    difference.mean = samples ? static_cast<double>(total) / static_cast<double>(samples) : 0;
    return difference;
  }

  int width, height;
  AVFrame* direct;
  AVFrame* general;
};

const Picture noise = [](int x, int y) {
  const std::uint32_t hash = (static_cast<std::uint32_t>(x) * 73856093u) ^ (static_cast<std::uint32_t>(y) * 19349663u);
  return Pixel{static_cast<std::uint8_t>(hash), static_cast<std::uint8_t>(hash >> 8), static_cast<std::uint8_t>(hash >> 16)};
};

// Saturated and grey patches of `side` pixels.
Picture patches(int side) {
  return [side](int x, int y) {
    switch ((x / side + y / side) % 5) {
      case 0: return Pixel{255, 0, 0};
      case 1: return Pixel{0, 255, 0};
      case 2: return Pixel{0, 0, 255};
      case 3: return Pixel{40, 90, 200};
      default: return Pixel{128, 128, 128};
    }
  };
}

// Luma is a pixel's own: it matches everywhere, on noise too; sizes with a
// vector tail, padded rows and a single chroma column.
TEST(VTBGRAToYUV420, LumaMatchesTheGeneralScalerWithinOneStepEverywhere) {
  const struct {
    int width, height;
    Picture pixel;
  } cases[] = {{1280, 720, noise}, {34, 10, noise}, {34, 10, patches(3)}, {2, 8, noise}, {2, 2, noise}};
  for (const auto& [width, height, pixel] : cases) {
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    EXPECT_EQ(Comparison(width, height, pixel).of(0).apart, 0);
  }
}

// Away from edges every filter sees one colour: chroma matches there. At hard
// edges the 2x2 mean and swscale's wider filter part; the figures are printed.
TEST(VTBGRAToYUV420, ChromaMatchesOnFlatColourAndStaysCloseAtHardEdges) {
  constexpr int side = 16;
  const Comparison picture(1280, 720, patches(side));
  // Chroma sample (x, y) covers pixels 2x..2x+1 and swscale reads a row on either side.
  const auto inside = [](int x, int y) {
    const auto clear = [](int at) { return (2 * at) % side >= 2 && (2 * at + 1) % side <= side - 3; };
    return clear(x) && clear(y);
  };
  const auto edge = [&](int x, int y) { return !inside(x, y); };
  for (int plane = 1; plane < 3; ++plane) {
    SCOPED_TRACE(testing::Message() << "plane " << plane);
    EXPECT_LE(picture.of(plane, inside).largest, 1);
    const Difference atEdges = picture.of(plane, edge);
    std::printf("chroma plane %d at hard edges: largest difference %d, mean %.2f\n", plane, atEdges.largest,
                atEdges.mean);
    EXPECT_LE(atEdges.mean, 16.0);
  }
}

// BT.601 video range as integers, the sums libyuv makes of one pixel and of
// the mean of a block.
int referenceLuma(int blue, int green, int red) { return (66 * red + 129 * green + 25 * blue + 0x1080) >> 8; }
int referenceBlue(int blue, int green, int red) { return (112 * blue - 74 * green - 38 * red + 0x8080) >> 8; }
int referenceRed(int blue, int green, int red) { return (112 * red - 94 * green - 18 * blue + 0x8080) >> 8; }

// A BGRX screen image in rows longer than its pixels, its fourth bytes noise.
struct ScreenImage {
  ScreenImage(int width, int height, const Picture& pixel)
      : width(width), height(height), stride(width * 4 + 12), bytes(std::size_t(stride) * height, 0xee) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const Pixel colour = pixel(x, y);
        std::uint8_t* at = &bytes[std::size_t(y) * stride + 4 * x];
        at[0] = colour.blue;
        at[1] = colour.green;
        at[2] = colour.red;
        at[3] = static_cast<std::uint8_t>(x * 37 + y);
      }
    }
  }
  const std::uint8_t* at(int x, int y) const { return &bytes[std::size_t(y) * stride + 4 * x]; }
  VTImagePlanes planes() {
    VTImagePlanes result = platform::planes(AV_PIX_FMT_BGR0, width, height);
    result.data[0] = bytes.data();
    result.linesize[0] = stride;
    return result;
  }

  int width, height, stride;
  std::vector<std::uint8_t> bytes;
};

// Each sample of the one-pass bi-planar picture against the reference of the
// same image: luma per pixel, chroma from the mean of the pixels its block
// holds (one or two at an odd edge). The vector code rounds its means in
// steps, so a sample may lie one off.
void expectMatchesReference(const Picture& pixel, int width, int height) {
  SCOPED_TRACE(testing::Message() << width << "x" << height);
  ScreenImage image(width, height, pixel);
  const auto picture = CVPixelBuffer::make(width, height, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange).value;
  const auto destination = *VTImagePlanes::of(*picture);
  ASSERT_TRUE(VTBGRAToYUV420::accepts(image.planes(), destination));
  VTBGRAToYUV420::convert(image.planes(), destination);

  int lumaApart = 0, chromaApart = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* source = image.at(x, y);
      const int expected = referenceLuma(source[0], source[1], source[2]);
      lumaApart += std::abs(picture->baseAddressOfPlane(0)[y * picture->bytesPerRowOfPlane(0) + x] - expected) > 1;
    }
  }
  for (int y = 0; y < (height + 1) / 2; ++y) {
    for (int x = 0; x < (width + 1) / 2; ++x) {
      int sum[3] = {}, count = 0;
      for (int row = 2 * y; row < std::min(2 * y + 2, height); ++row) {
        for (int column = 2 * x; column < std::min(2 * x + 2, width); ++column, ++count) {
          for (int channel = 0; channel < 3; ++channel) sum[channel] += image.at(column, row)[channel];
        }
      }
      const int blue = sum[0] / count, green = sum[1] / count, red = sum[2] / count;
      const std::uint8_t* sample = picture->baseAddressOfPlane(1) + y * picture->bytesPerRowOfPlane(1) + 2 * x;
      chromaApart += std::abs(sample[0] - referenceBlue(blue, green, red)) > 1;
      chromaApart += std::abs(sample[1] - referenceRed(blue, green, red)) > 1;
    }
  }
  EXPECT_EQ(lumaApart, 0);
  EXPECT_EQ(chromaApart, 0);
}

const Picture gradient = [](int x, int y) {
  return Pixel{static_cast<std::uint8_t>(40 + x), static_cast<std::uint8_t>(20 + 3 * y), static_cast<std::uint8_t>(200 - x)};
};

// Even sizes, odd ones (a last column and row of their own chroma), one
// with a vector tail, on patches of saturated colour and on a gradient.
TEST(VTBGRAToYUV420, OnePassBiPlanarMatchesTheReferenceConversionOfTheScreenImage) {
  for (const auto& [width, height] : {std::pair{64, 36}, std::pair{63, 35}, std::pair{1, 1}, std::pair{37, 2}}) {
    expectMatchesReference(patches(3), width, height);
    expectMatchesReference(gradient, width, height);
  }
}

// The bi-planar picture reaches the encoder's planar one unchanged: the
// same luma, and each chroma pair split over the two planes.
TEST(VTNV12ToYUV420, DeinterleavesChromaOfAnySizeWithinOneRange) {
  EXPECT_TRUE(VTNV12ToYUV420::accepts(planes(AV_PIX_FMT_NV12, 63, 35), planes(AV_PIX_FMT_YUV420P, 63, 35)));
  EXPECT_TRUE(VTNV12ToYUV420::accepts(planes(AV_PIX_FMT_NV12, 64, 36, true), planes(AV_PIX_FMT_YUV420P, 64, 36, true)));
  EXPECT_FALSE(VTNV12ToYUV420::accepts(planes(AV_PIX_FMT_NV12, 64, 36, true), planes(AV_PIX_FMT_YUV420P, 64, 36)));
  EXPECT_FALSE(VTNV12ToYUV420::accepts(planes(AV_PIX_FMT_NV12, 64, 36), planes(AV_PIX_FMT_YUV420P, 64, 34)));
  EXPECT_FALSE(VTNV12ToYUV420::accepts(planes(AV_PIX_FMT_BGRA, 64, 36), planes(AV_PIX_FMT_YUV420P, 64, 36)));

  for (const auto& [width, height] : {std::pair{64, 36}, std::pair{63, 35}}) {
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    const auto source = CVPixelBuffer::make(width, height, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange).value;
    for (std::size_t plane = 0; plane < 2; ++plane) {
      for (std::size_t y = 0; y < source->heightOfPlane(plane); ++y) {
        for (std::size_t x = 0; x < source->bytesPerRowOfPlane(plane); ++x) {
          source->baseAddressOfPlane(plane)[y * source->bytesPerRowOfPlane(plane) + x] =
              static_cast<std::uint8_t>(plane * 100 + x * 3 + y);
        }
      }
    }
    AVFrame* planar = makePlanar(width, height);
    VTPixelTransfer transfer;
    ASSERT_TRUE(transfer.transfer(*VTImagePlanes::of(*source), VTImagePlanes::of(*planar), VTScalingMode::normal));
    int apart = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        apart += planar->data[0][y * planar->linesize[0] + x] != source->baseAddressOfPlane(0)[y * source->bytesPerRowOfPlane(0) + x];
      }
    }
    for (int y = 0; y < (height + 1) / 2; ++y) {
      for (int x = 0; x < (width + 1) / 2; ++x) {
        const std::uint8_t* pair = source->baseAddressOfPlane(1) + y * source->bytesPerRowOfPlane(1) + 2 * x;
        apart += planar->data[1][y * planar->linesize[1] + x] != pair[0];
        apart += planar->data[2][y * planar->linesize[2] + x] != pair[1];
      }
    }
    EXPECT_EQ(apart, 0);
    av_frame_free(&planar);
  }
}

}  // namespace
}  // namespace platform
