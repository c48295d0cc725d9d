#include <gtest/gtest.h>

#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Sources/Screen/TextScreenObject.hpp"
#include "Fluvio/Tests/Screen/ScreenTestSupport.hpp"

using namespace fluvio;
using namespace fluvio::testing;

namespace {

// Pixels of a frame inside a rectangle that are brighter than the background.
int litPixels(const platform::CVPixelBuffer& frame, int left, int top, int right, int bottom) {
  int lit = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) lit += pixel(frame, x, y)[1] > 128 ? 1 : 0;
  }
  return lit;
}

}  // namespace

TEST_ON_SCREEN_ACTOR(TextScreenObjectTests, SizesToItsTextAndRedrawsOnAClearedBitmap) {
  auto screen = Screen::make();
  screen->setSize({400, 100});
  screen->setBackgroundColor(platform::CGColor::black());
  auto text = TextScreenObject::make();
  screen->addChild(text);
  renderFrame(*screen, 1);
  EXPECT_EQ(text->bounds(), platform::CGRect{}) << "an empty string takes no space";

  text->setString("WWWW");
  auto frame = renderFrame(*screen, 2);
  const auto wide = text->bounds();
  EXPECT_GT(wide.size.width, 60);
  EXPECT_LT(wide.size.width, 200);
  EXPECT_GE(wide.size.height, 32);
  EXPECT_LT(wide.size.height, 50);
  EXPECT_GT(litPixels(*frame, 0, 0, 400, 100), 300);
  EXPECT_EQ(litPixels(*frame, static_cast<int>(wide.size.width) + 1, 0, 400, 100), 0) << "nothing beyond the text";

  // Same length, so the bounds stay: the old glyphs must not show through.
  text->setString("....");
  frame = renderFrame(*screen, 3);
  EXPECT_LT(litPixels(*frame, 0, 0, 400, 100), 200);
  EXPECT_EQ(litPixels(*frame, 0, 0, 400, static_cast<int>(wide.size.height) / 2), 0) << "no trace of the W's";

  platform::CTAttributes large;
  large.fontSize = 64;
  text->setAttributes(large);
  renderFrame(*screen, 4);
  EXPECT_GE(text->bounds().size.height, 64);
}
