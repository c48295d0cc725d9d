#include <gtest/gtest.h>

#include <cmath>

#include "Fluvio/Sources/Screen/ChromaKeyProcessor.hpp"
#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Tests/Screen/ScreenTestSupport.hpp"
#include "Platform/CoreGraphics/CGColorConversion.hpp"
#include "Platform/CoreGraphics/vImageBuffer.hpp"

using namespace fluvio;
using namespace fluvio::testing;
using platform::CGColor;

namespace {

constexpr Argb green{255, 0, 255, 0};
constexpr Argb gray{255, 128, 128, 128};
constexpr Argb blue{255, 0, 0, 255};
constexpr Argb nearGreen{255, 40, 230, 30};

// Four columns: green, gray, blue, a green a little off the key.
struct Panel {
  platform::vImagePixelBuffer pixels;
  Panel(std::size_t width, std::size_t height) {
    pixels.reshape(width, height, 4);
    const Argb columns[] = {green, gray, blue, nearGreen};
    for (std::size_t y = 0; y < height; ++y) {
      for (std::size_t x = 0; x < width; ++x) {
        const Argb& c = columns[x * 4 / width];
        std::copy(c.begin(), c.end(), pixels.buffer().row(y) + x * 4);
      }
    }
  }
};

}  // namespace

TEST(ChromaKeyProcessorTests, KeysOutTheKeyColourAndKeepsDistantColours) {
  struct Case {
    const char* name;
    CGColor key;
    std::array<int, 4> alphas;  // green, gray, blue, near green
  } cases[] = {
      {"green", CGColor::genericRGB(0, 1, 0, 1), {0, 255, 255, 0}},
      {"gray given as gray and alpha", CGColor::genericGray(128 / 255.0, 1), {255, 0, 255, 255}},
      {"gray given as one component", CGColor{{128 / 255.0}}, {255, 0, 255, 255}},
      {"no components: black", CGColor{}, {255, 255, 255, 255}},
      {"blue", CGColor::genericRGB(0, 0, 1, 1), {255, 255, 0, 255}},
  };
  ChromaKeyProcessor processor;
  Panel panel(8, 2);
  for (const auto& c : cases) {
    const auto& mask = processor.process(panel.pixels.buffer(), c.key);
    for (std::size_t column = 0; column < 4; ++column) {
      EXPECT_NEAR(mask.row(1)[column * 2 + 1], c.alphas[column], 2) << c.name << " column " << column;
    }
  }
  EXPECT_EQ(processor.tableCount(), 5u);
  processor.process(panel.pixels.buffer(), CGColor::genericRGB(0, 1, 0, 1));
  EXPECT_EQ(processor.tableCount(), 5u) << "one table per key colour";
  EXPECT_EQ(processor.bufferSetCount(), 1u);
  Panel larger(12, 3);
  processor.process(larger.pixels.buffer(), CGColor::genericRGB(0, 1, 0, 1));
  EXPECT_EQ(processor.bufferSetCount(), 2u) << "one set of buffers per size";
}

// Grid point i of a key's table stands for the level i/31 of its channel, so
// each point holds the keying of its own colour: keyed out within 45 of the
// key in L*a*b*, kept from 60 on, soft only between.
TEST(ChromaKeyProcessorTests, EachPointOfTheKeysTableKeysItsOwnColour) {
  const struct {
    const char* name;
    CGColor color;
  } keys[] = {{"green", CGColor::genericRGB(0, 1, 0, 1)}, {"orange", CGColor::genericRGB(1, 0.5, 0, 1)}};
  for (const auto& key : keys) {
    ChromaKeyProcessor processor;
    const auto table = processor.table(key.color);
    ASSERT_TRUE(table) << key.name;
    const auto& c = key.color.components;
    const auto keyLab = platform::labFromDeviceRGB(float(c[0]), float(c[1]), float(c[2]));
    constexpr std::size_t n = ChromaKeyProcessor::entriesPerChannel;
    int keyed = 0, kept = 0, wrong = 0;
    for (std::size_t r = 0; r < n; ++r) {
      for (std::size_t g = 0; g < n; ++g) {
        for (std::size_t b = 0; b < n; ++b) {
          const float red = float(r) / (n - 1), green = float(g) / (n - 1), blue = float(b) / (n - 1);
          const auto lab = platform::labFromDeviceRGB(red, green, blue);
          const double distance = std::hypot(lab[0] - keyLab[0], lab[1] - keyLab[1], lab[2] - keyLab[2]);
          const float alpha = table->lookup(red, green, blue);
          if (distance <= 45) {
            ++keyed;
            wrong += alpha > 1e-4f;
          } else if (distance >= 60) {
            ++kept;
            wrong += alpha < 0.999f;
          }
        }
      }
    }
    EXPECT_GT(keyed, 100) << key.name;
    EXPECT_GT(kept, 10000) << key.name;
    EXPECT_EQ(wrong, 0) << "grid points keyed as another colour, key " << key.name;
  }
}

TEST_ON_SCREEN_ACTOR(ChromaKeyProcessorTests, TheRendererShowsTheBackgroundThroughTheKeyUnlessCornersAreRounded) {
  auto screen = Screen::make();
  screen->setSize({64, 36});
  screen->setBackgroundColor(CGColor::genericRGB(1, 0, 0, 1));
  auto& track = *screen->videoTrackScreenObject();
  track.setChromaKeyColor(CGColor::genericRGB(0, 1, 0, 1));
  auto frame = solidFrame(64, 36, green);
  for (int y = 0; y < 36; ++y) {  // a blue square in the middle of a green screen
    for (int x = 24; x < 40; ++x) {
      std::uint8_t* p = frame->baseAddress() + y * frame->bytesPerRow() + x * 4;
      p[0] = 255, p[1] = 0, p[2] = 0;
    }
  }
  track.enqueue(frameAt(frame, 1.0));
  auto shown = renderFrame(*screen, 1.0);
  EXPECT_EQ(pixel(*shown, 5, 18), (Argb{255, 255, 0, 0})) << "green keyed out";
  EXPECT_EQ(pixel(*shown, 32, 18), blue);

  track.setCornerRadius(4);
  track.enqueue(frameAt(frame, 2.0));
  shown = renderFrame(*screen, 2.0);
  EXPECT_EQ(pixel(*shown, 5, 18), green) << "corners win over the key";
  EXPECT_EQ(pixel(*shown, 0, 0), (Argb{255, 255, 0, 0})) << "the corner is cut";
}
