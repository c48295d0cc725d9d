#include <gtest/gtest.h>

#include "Platform/WebKit/Gtk/WKLoadTimer.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/GuiSession.hpp"

namespace tarvelportal::testing {
namespace {

using std::chrono::milliseconds;

TEST(MainLoopLoadTimer, ExpiresOnceForTheLastStartUnlessCancelled) {
  const auto timer = platform::makeMainLoopLoadTimer();
  int replaced = 0;
  int expired = 0;
  timer->start(milliseconds(0), [&] { ++replaced; });
  timer->start(milliseconds(0), [&] { ++expired; });
  ASSERT_TRUE(waitUntil([&] { return expired == 1; }));
  EXPECT_EQ(replaced, 0);

  // A load started from the expiry (a retry) gets a time-out of its own.
  timer->start(milliseconds(0), [&] {
    ++expired;
    timer->start(milliseconds(0), [&] { ++expired; });
  });
  ASSERT_TRUE(waitUntil([&] { return expired == 3; }));

  int cancelled = 0;
  bool turned = false;
  timer->start(milliseconds(0), [&] { ++cancelled; });
  timer->cancel();
  g_timeout_add_once(0, [](gpointer data) { *static_cast<bool*>(data) = true; }, &turned);
  ASSERT_TRUE(waitUntil([&] { return turned; }));
  EXPECT_EQ(cancelled, 0);
  EXPECT_EQ(expired, 3) << "each start expires once";
}

}  // namespace
}  // namespace tarvelportal::testing
