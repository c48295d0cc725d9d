#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>

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

TEST(VTBGRAToYUV420, TakesOnlyEvenSameSizedBGRAOfEightRowsOrMoreIntoVideoRange) {
  const auto planes = [](AVPixelFormat format, int width, int height, bool fullRange = false) {
    VTImagePlanes result;
    result.format = format;
    result.width = width;
    result.height = height;
    result.fullRange = fullRange;
    return result;
  };
  const auto bgra = planes(AV_PIX_FMT_BGRA, 64, 36);
  EXPECT_TRUE(VTBGRAToYUV420::accepts(bgra, planes(AV_PIX_FMT_YUV420P, 64, 36)));
  EXPECT_TRUE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGRA, 2, 8), planes(AV_PIX_FMT_YUV420P, 2, 8)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGRA, 64, 6), planes(AV_PIX_FMT_YUV420P, 64, 6)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGRA, 63, 36), planes(AV_PIX_FMT_YUV420P, 63, 36)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_BGRA, 64, 35), planes(AV_PIX_FMT_YUV420P, 64, 35)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(bgra, planes(AV_PIX_FMT_YUV420P, 64, 38)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(bgra, planes(AV_PIX_FMT_YUV420P, 64, 36, true)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(bgra, planes(AV_PIX_FMT_NV12, 64, 36)));
  EXPECT_FALSE(VTBGRAToYUV420::accepts(planes(AV_PIX_FMT_ARGB, 64, 36), planes(AV_PIX_FMT_YUV420P, 64, 36)));
}

// Noise and hard-edged blocks, whose chroma differs most between filters;
// sizes with a vector tail, padded rows and a single chroma column.
TEST(VTBGRAToYUV420, EverySampleMatchesTheGeneralScalerWithinOneStep) {
  const auto noise = [](int x, int y) {
    const std::uint32_t hash = (static_cast<std::uint32_t>(x) * 73856093u) ^ (static_cast<std::uint32_t>(y) * 19349663u);
    return Pixel{static_cast<std::uint8_t>(hash), static_cast<std::uint8_t>(hash >> 8), static_cast<std::uint8_t>(hash >> 16)};
  };
  const auto blocks = [](int x, int y) {
    switch ((x / 3 + y / 5) % 4) {
      case 0: return Pixel{255, 0, 0};
      case 1: return Pixel{0, 255, 0};
      case 2: return Pixel{0, 0, 255};
      default: return Pixel{255, 255, 255};
    }
  };
  const struct {
    int width, height;
    std::function<Pixel(int, int)> pixel;
  } cases[] = {{1280, 720, noise}, {34, 10, noise}, {34, 10, blocks}, {2, 8, noise}};
  for (const auto& [width, height, pixel] : cases) {
    SCOPED_TRACE(testing::Message() << width << "x" << height);
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
    AVFrame* direct = makePlanar(width, height);
    AVFrame* general = makePlanar(width, height);
    ASSERT_TRUE(direct && general);
    VTBGRAToYUV420 conversion;
    conversion.convert(*VTImagePlanes::of(*source), VTImagePlanes::of(*direct));
    scaleGenerally(*source, *general);
    for (int plane = 0; plane < 3; ++plane) {
      const int planeWidth = plane ? width / 2 : width, planeHeight = plane ? height / 2 : height;
      int apart = 0;
      for (int y = 0; y < planeHeight; ++y) {
        for (int x = 0; x < planeWidth; ++x) {
          if (std::abs(direct->data[plane][y * direct->linesize[plane] + x] -
                       general->data[plane][y * general->linesize[plane] + x]) > 1) {
            ++apart;
          }
        }
      }
      EXPECT_EQ(apart, 0) << "plane " << plane;
    }
    source->unlockBaseAddress(0);
    av_frame_free(&direct);
    av_frame_free(&general);
  }
}

}  // namespace
}  // namespace platform
