// A 720p BGRA screen picture to video-range 4:2:0, three ways in one run: the
// transfer every encoded screen frame takes, libyuv's converter called
// directly, and swscale with the settings the general transfer uses.
#include <benchmark/benchmark.h>
#include <libyuv/convert.h>

#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "Platform/VideoToolbox/VTBGRAToYUV420.hpp"
#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

namespace {

constexpr int width = 1280, height = 720;

// Text-like hard edges over a gradient: what a screen mostly shows.
std::vector<std::uint8_t> screenPicture() {
  std::vector<std::uint8_t> pixels(4u * width * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* at = &pixels[4u * (y * width + x)];
      const bool glyph = (x / 3 + y / 7) % 5 == 0;
      at[0] = glyph ? 20 : static_cast<std::uint8_t>(x / 5);
      at[1] = glyph ? 20 : static_cast<std::uint8_t>(y / 3);
      at[2] = glyph ? 20 : static_cast<std::uint8_t>((x + y) / 8);
      at[3] = 255;
    }
  }
  return pixels;
}

struct Planar {
  Planar() : frame(av_frame_alloc()) {
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
  }
  ~Planar() { av_frame_free(&frame); }
  AVFrame* frame;
};

void transfer(benchmark::State& state) {
  auto pixels = screenPicture();
  Planar out;
  platform::VTImagePlanes source;
  source.format = AV_PIX_FMT_BGRA;
  source.width = width;
  source.height = height;
  source.data[0] = pixels.data();
  source.linesize[0] = 4 * width;
  const auto destination = platform::VTImagePlanes::of(*out.frame);
  for (auto _ : state) {
    platform::VTBGRAToYUV420::convert(source, destination);
    benchmark::DoNotOptimize(out.frame->data[0][0]);
  }
}

void libyuvDirect(benchmark::State& state) {
  auto pixels = screenPicture();
  Planar out;
  for (auto _ : state) {
    // libyuv names pixels by their 32-bit value: its ARGB is BGRA in memory.
    libyuv::ARGBToI420(pixels.data(), 4 * width, out.frame->data[0], out.frame->linesize[0], out.frame->data[1],
                       out.frame->linesize[1], out.frame->data[2], out.frame->linesize[2], width, height);
    benchmark::DoNotOptimize(out.frame->data[0][0]);
  }
}

void swscale(benchmark::State& state) {
  auto pixels = screenPicture();
  Planar out;
  SwsContext* context =
      sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
  const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(context, coefficients, 0, coefficients, 0, 0, 1 << 16, 1 << 16);
  const std::uint8_t* planes[] = {pixels.data()};
  const int linesizes[] = {4 * width};
  for (auto _ : state) {
    sws_scale(context, planes, linesizes, 0, height, out.frame->data, out.frame->linesize);
    benchmark::DoNotOptimize(out.frame->data[0][0]);
  }
  sws_freeContext(context);
}

}  // namespace

BENCHMARK(transfer)->Unit(benchmark::kMillisecond);
BENCHMARK(libyuvDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(swscale)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
