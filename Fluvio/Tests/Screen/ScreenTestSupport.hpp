#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "Fluvio/Sources/Screen/ImageScreenObject.hpp"
#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Sources/Screen/ScreenActor.hpp"
#include "Platform/CoreGraphics/CGImage.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

// A test whose body runs on ScreenActor, where the screen tree may be used.
#define TEST_ON_SCREEN_ACTOR(suite, name)                                              \
  static void suite##_##name##_onScreenActor();                                        \
  TEST(suite, name) { ::fluvio::ScreenActor::shared().run(suite##_##name##_onScreenActor); } \
  static void suite##_##name##_onScreenActor()

namespace fluvio::testing {

using Argb = std::array<std::uint8_t, 4>;

// A solid BGRA frame of one colour (A, R, G, B).
inline std::shared_ptr<platform::CVPixelBuffer> solidFrame(int width, int height, Argb color) {
  auto buffer = platform::CVPixelBuffer::make(width, height, platform::kCVPixelFormatType_32BGRA).value;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = buffer->baseAddress() + y * buffer->bytesPerRow();
    for (int x = 0; x < width; ++x) {
      row[x * 4] = color[3], row[x * 4 + 1] = color[2], row[x * 4 + 2] = color[1], row[x * 4 + 3] = color[0];
    }
  }
  return buffer;
}

inline platform::CMSampleBuffer frameAt(std::shared_ptr<platform::CVPixelBuffer> buffer, double seconds) {
  auto format = platform::CMFormatDescription::makeForImageBuffer(*buffer).value;
  const platform::CMSampleTimingInfo timing{platform::CMTime::make(1, 30),
                                            platform::CMTime::makeWithSeconds(seconds, 1000000000),
                                            platform::CMTime::invalid};
  return *platform::CMSampleBuffer::makeReadyWithImageBuffer(std::move(buffer), format, timing).value;
}

// A solid straight-alpha ARGB image.
inline std::shared_ptr<platform::CGImage> solidImage(int width, int height, Argb color) {
  auto image = platform::CGImage::make(width, height, platform::CGImagePixelFormat::argb8888);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) std::copy(color.begin(), color.end(), image->mutableData() + y * image->bytesPerRow() + x * 4);
  }
  return image;
}

// The ARGB bytes of a pixel of a 32-bit ARGB frame.
inline Argb pixel(const platform::CVPixelBuffer& buffer, std::size_t x, std::size_t y) {
  const std::uint8_t* p = buffer.baseAddress() + y * buffer.bytesPerRow() + x * 4;
  return {p[0], p[1], p[2], p[3]};
}

// Renders one frame at `seconds` and gives its pixels.
inline std::shared_ptr<platform::CVPixelBuffer> renderFrame(Screen& screen, double seconds) {
  auto frame = screen.makeSampleBuffer({seconds, seconds + 1.0 / 30});
  return frame ? frame->imageBuffer() : nullptr;
}

// A 64x48 screen showing one 20x10 image of `color` at `origin`.
struct ImageScene {
  std::shared_ptr<Screen> screen = Screen::make();
  std::shared_ptr<ImageScreenObject> image = ImageScreenObject::make();

  ImageScene(platform::CGPoint origin, Argb color, bool isGPURendererEnabled = false) {
    screen->setSize({64, 48});
    screen->setGPURendererEnabled(isGPURendererEnabled);
    image->setCGImage(solidImage(20, 10, color));
    image->setLayoutMargin({origin.y, origin.x, 0, 0});
    screen->addChild(image);
  }
};

}  // namespace fluvio::testing
