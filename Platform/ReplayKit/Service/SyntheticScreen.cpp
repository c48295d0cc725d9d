#include "Platform/ReplayKit/Service/SyntheticScreen.hpp"

#include <cstring>

#include "Platform/ReplayKit/Service/SyntheticSignal.hpp"
#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

namespace platform::broadcastservice {
namespace {

// Even, as are the square's places, so it starts on a whole chroma sample.
constexpr int squareSide = 160;
constexpr int bytesPerPixel = 4;
// The green of the background rises by one this many times down the picture,
// each time on an even row.
constexpr int greenSteps = 40;
static_assert(SyntheticScreen::height / greenSteps % 2 == 0);

struct Colour {
  std::uint8_t blue, green, red;
};

// The strip of a row of `columns` pixels, converted as the screen's are.
SyntheticScreen::Strip convertedStrip(int columns, Colour (*pixel)(int x, int step), int step) {
  std::vector<std::uint8_t> bgra(std::size_t(columns) * bytesPerPixel * 2);
  for (int x = 0; x < columns; ++x) {
    const Colour colour = pixel(x, step);
    for (const int row : {0, 1}) {
      std::uint8_t* at = &bgra[(std::size_t(row) * columns + x) * bytesPerPixel];
      at[0] = colour.blue;
      at[1] = colour.green;
      at[2] = colour.red;
      at[3] = 255;
    }
  }
  SyntheticScreen::Strip strip{std::vector<std::uint8_t>(std::size_t(columns) * 2),
                               std::vector<std::uint8_t>(std::size_t(columns))};
  VTImagePlanes from;
  from.format = AV_PIX_FMT_BGRA;
  from.width = columns;
  from.height = 2;
  from.data[0] = bgra.data();
  from.linesize[0] = columns * bytesPerPixel;
  VTImagePlanes to = from;
  to.format = AV_PIX_FMT_NV12;
  to.data[0] = strip.luma.data();
  to.linesize[0] = columns;
  to.data[1] = strip.chroma.data();
  to.linesize[1] = columns;
  VTBGRAToYUV420::convert(from, to);
  strip.luma.resize(std::size_t(columns));
  return strip;
}

Colour background(int x, int step) {
  return {static_cast<std::uint8_t>(40 + 60 * x / SyntheticScreen::width), static_cast<std::uint8_t>(20 + step), 30};
}
Colour orange(int, int) { return {0, 140, 230}; }
Colour white(int, int) { return {255, 255, 255}; }

}  // namespace

std::unique_ptr<SyntheticScreen> SyntheticScreen::make() {
  auto pictures = ScreenPictures::make(width, height);
  if (!pictures) return nullptr;
  return std::unique_ptr<SyntheticScreen>(new SyntheticScreen(std::move(*pictures)));
}

SyntheticScreen::SyntheticScreen(ScreenPictures pictures)
    : pictures_(std::move(pictures)),
      square_(convertedStrip(squareSide, orange, 0)),
      flash_(convertedStrip(width, white, 0)) {
  for (int step = 0; step < greenSteps; ++step) background_.push_back(convertedStrip(width, background, step));
}

std::shared_ptr<CMSampleBuffer> SyntheticScreen::frame(std::uint64_t hostTime, std::uint64_t index) {
  auto picture = pictures_.take();
  if (!picture) return nullptr;
  picture->lockBaseAddress(0);
  std::uint8_t* const luma = picture->baseAddressOfPlane(0);
  std::uint8_t* const chroma = picture->baseAddressOfPlane(1);
  const std::size_t lumaStride = picture->bytesPerRowOfPlane(0);
  const std::size_t chromaStride = picture->bytesPerRowOfPlane(1);
  const auto stripOf = [&](int y) -> const Strip& {
    return SyntheticSignal::isFlash(index) ? flash_ : background_[std::size_t(greenSteps * y / height)];
  };
  for (int y = 0; y < height; ++y) std::memcpy(luma + y * lumaStride, stripOf(y).luma.data(), width);
  for (int y = 0; y < height; y += 2) std::memcpy(chroma + y / 2 * chromaStride, stripOf(y).chroma.data(), width);
  if (!SyntheticSignal::isFlash(index)) {
    const int left = static_cast<int>(index * 8 % (width - squareSide));
    const int top = (height - squareSide) / 2;
    for (int y = top; y < top + squareSide; ++y) {
      std::memcpy(luma + y * lumaStride + left, square_.luma.data(), squareSide);
      if (y % 2 == 0) std::memcpy(chroma + y / 2 * chromaStride + left, square_.chroma.data(), squareSide);
    }
  }
  picture->unlockBaseAddress(0);
  return pictures_.frame(std::move(picture), hostTime);
}

}  // namespace platform::broadcastservice
