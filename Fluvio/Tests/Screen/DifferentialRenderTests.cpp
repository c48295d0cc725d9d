#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <functional>

#include "Fluvio/Sources/Screen/ImageScreenObject.hpp"
#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Sources/Screen/TextScreenObject.hpp"
#include "Fluvio/Tests/Screen/ScreenTestSupport.hpp"
#include "Platform/CoreGraphics/CGImagePNG.hpp"

using namespace fluvio;
using namespace fluvio::testing;
using namespace platform;

namespace {

// A smooth frame (linear ramps), so that scalers that centre their filters
// alike agree; a green band with a blue square for keying.
std::shared_ptr<CVPixelBuffer> rampFrame(int width, int height) {
  auto buffer = CVPixelBuffer::make(width, height, kCVPixelFormatType_32BGRA).value;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = buffer->baseAddress() + y * buffer->bytesPerRow() + x * 4;
      p[0] = static_cast<std::uint8_t>(x * 255 / width), p[1] = static_cast<std::uint8_t>(y * 255 / height);
      p[2] = 120, p[3] = 255;
    }
  }
  return buffer;
}

std::shared_ptr<CVPixelBuffer> greenScreen(int width, int height) {
  auto buffer = solidFrame(width, height, {255, 0, 255, 0});
  for (int y = height / 4; y < height * 3 / 4; ++y) {
    for (int x = width / 4; x < width * 3 / 4; ++x) {
      std::uint8_t* p = buffer->baseAddress() + y * buffer->bytesPerRow() + x * 4;
      p[0] = 255, p[1] = 0, p[2] = 0;
    }
  }
  return buffer;
}

std::shared_ptr<CGImage> checkerImage(int width, int height) {
  auto image = CGImage::make(width, height, CGImagePixelFormat::argb8888);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool dark = ((x / 8) + (y / 8)) % 2 == 0;
      const std::uint8_t c[4] = {static_cast<std::uint8_t>(dark ? 255 : 160), static_cast<std::uint8_t>(dark ? 30 : 250),
                                 200, static_cast<std::uint8_t>(dark ? 40 : 10)};
      std::copy(c, c + 4, image->mutableData() + y * image->bytesPerRow() + x * 4);
    }
  }
  return image;
}

struct Scene {
  const char* name;
  std::function<void(Screen&)> build;
};

const Scene scenes[] = {
    {"video-gravity",
     [](Screen& screen) {
       auto& track = *screen.videoTrackScreenObject();
       track.setVideoGravity(AVLayerVideoGravity::resizeAspectFill);
       track.setSize({80, 72});
       track.enqueue(frameAt(rampFrame(320, 144), 1.0));
     }},
    {"image-text-corners",
     [](Screen& screen) {
       auto image = ImageScreenObject::make();
       image->setCGImage(checkerImage(48, 40));
       image->setLayoutMargin({10, 12, 0, 0});
       image->setCornerRadius(10);
       screen.addChild(image);
       auto text = TextScreenObject::make();
       text->setString("Tp 42");
       text->setHorizontalAlignment(ScreenObject::HorizontalAlignment::right);
       text->setVerticalAlignment(ScreenObject::VerticalAlignment::bottom);
       screen.addChild(text);
     }},
    {"chroma-key",
     [](Screen& screen) {
       auto& track = *screen.videoTrackScreenObject();
       track.setChromaKeyColor(CGColor::genericRGB(0, 1, 0, 1));
       track.enqueue(frameAt(greenScreen(160, 90), 1.0));
     }},
    {"nested-and-off-canvas",
     [](Screen& screen) {
       auto group = ScreenObjectContainer::make();
       group->setSize({100, 60});
       group->setLayoutMargin({-20, 100, 0, 0});
       screen.addChild(group);
       auto inner = ImageScreenObject::make();
       inner->setCGImage(checkerImage(64, 48));
       inner->setHorizontalAlignment(ScreenObject::HorizontalAlignment::right);
       inner->setLayoutMargin({0, 0, 0, 0});
       group->addChild(inner);
       auto left = ImageScreenObject::make();
       left->setCGImage(checkerImage(40, 40));
       left->setLayoutMargin({70, -25, 0, 0});
       left->setCornerRadius(1e6);
       screen.addChild(left);
     }},
};

std::shared_ptr<CGImage> render(const Scene& scene, bool gpu) {
  auto screen = Screen::make();
  screen->setSize({160, 90});
  screen->setGPURendererEnabled(gpu);
  screen->setBackgroundColor(CGColor::genericRGB(0.2, 0.25, 0.5, 1));
  scene.build(*screen);
  auto frame = renderFrame(*screen, 1.0);
  if (!frame) return nullptr;
  auto image = CGImage::make(160, 90, CGImagePixelFormat::argb8888);
  for (std::size_t y = 0; y < 90; ++y) {
    std::memcpy(image->mutableData() + y * image->bytesPerRow(), frame->baseAddress() + y * frame->bytesPerRow(), 160 * 4);
  }
  return image;
}

// The largest difference of any channel of any pixel, and where it is.
struct Difference {
  int largest = 0;
  std::size_t x = 0, y = 0;
};

Difference largestDifference(const CGImage& a, const CGImage& b) {
  Difference found;
  for (std::size_t y = 0; y < a.height(); ++y) {
    for (std::size_t x = 0; x < a.width() * 4; ++x) {
      const int difference = std::abs(a.data()[y * a.bytesPerRow() + x] - b.data()[y * b.bytesPerRow() + x]);
      if (difference > found.largest) found = {difference, x / 4, y};
    }
  }
  return found;
}

std::ostream& operator<<(std::ostream& stream, const Difference& difference) {
  return stream << difference.largest << " at " << difference.x << "," << difference.y;
}

}  // namespace

TEST_ON_SCREEN_ACTOR(DifferentialRenderTests, CPUAndGPURenderersAgreeWithEachOtherAndTheReferences) {
  if (!CIContext::makeGPU()) GTEST_SKIP() << "no OpenGL ES 3 display (EGL surfaceless) could be opened";
  const auto artefacts = std::filesystem::path(FLUVIO_TEST_ARTEFACTS_DIR) / "compositing";
  const auto references = std::filesystem::path(FLUVIO_TESTS_DIR) / "Screen" / "References";
  std::filesystem::create_directories(artefacts);
  for (const Scene& scene : scenes) {
    const auto cpu = render(scene, false);
    const auto gpu = render(scene, true);
    ASSERT_TRUE(cpu && gpu) << scene.name;
    writePNG(*cpu, artefacts / (std::string(scene.name) + "-cpu.png"));
    writePNG(*gpu, artefacts / (std::string(scene.name) + "-gpu.png"));
    const Difference betweenRenderers = largestDifference(*cpu, *gpu);
    EXPECT_LE(betweenRenderers.largest, 2) << scene.name << ": " << betweenRenderers << ", see " << artefacts;
    const auto reference = readPNG(references / (std::string(scene.name) + ".png"));
    ASSERT_TRUE(reference) << "no reference for " << scene.name;
    const Difference fromReference = largestDifference(*cpu, *reference);
    EXPECT_LE(fromReference.largest, 2) << scene.name << ": " << fromReference;
  }
}

TEST_ON_SCREEN_ACTOR(DifferentialRenderTests, HighDynamicRangeFramesOfTheGPURendererCarryTheirColourTags) {
  for (const auto mode : {DynamicRangeMode::sdr, DynamicRangeMode::hdr}) {
    auto screen = Screen::make();
    screen->setSize({32, 18});
    screen->setGPURendererEnabled(true);
    screen->setDynamicRangeMode(mode);
    auto frame = screen->makeSampleBuffer({1, 1.03});
    ASSERT_TRUE(frame);
    const auto attachments = frame->imageBuffer()->attachments(CVAttachmentMode::shouldPropagate);
    if (mode == DynamicRangeMode::hdr) {
      EXPECT_EQ(attachments.at(kCVImageBufferColorPrimariesKey), kCVImageBufferColorPrimaries_ITU_R_2020);
      EXPECT_EQ(attachments.at(kCVImageBufferTransferFunctionKey), kCVImageBufferTransferFunction_ITU_R_2100_HLG);
      EXPECT_EQ(attachments.at(kCVImageBufferYCbCrMatrixKey), kCVImageBufferYCbCrMatrix_ITU_R_2020);
    } else {
      EXPECT_TRUE(attachments.empty());
    }
  }
}
