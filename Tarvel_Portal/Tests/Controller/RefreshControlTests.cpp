#include <gtest/gtest.h>

#include "Platform/WebKit/UIRefreshControl.hpp"
#include "Tarvel_Portal/Tests/Controller/Support/ControllerHarness.hpp"

namespace tarvelportal {
namespace {

using platform::UIRefreshControl;
constexpr double kTrigger = UIRefreshControl::kTriggerDistance;

struct CountingControl {
  UIRefreshControl control;
  int triggered = 0;
  CountingControl() {
    control.addTarget([this] { ++triggered; });
  }
  void pull(bool atTop, std::initializer_list<double> moves) {
    control.pullBegan();
    control.contentAtTop(atTop);
    for (const double move : moves) control.pullMoved(move);
  }
};

TEST(RefreshControl, TriggersOncePerPullPastTheDistanceFromTheTop) {
  CountingControl pulls;
  pulls.pull(true, {kTrigger / 2, kTrigger / 2 - 1});
  EXPECT_EQ(pulls.triggered, 0) << "one point short";
  EXPECT_EQ(pulls.control.pullDistance(), kTrigger - 1);
  pulls.control.pullMoved(1);
  EXPECT_EQ(pulls.triggered, 1);
  EXPECT_TRUE(pulls.control.isRefreshing());
  pulls.control.endRefreshing();
  pulls.control.pullMoved(-10);
  pulls.control.pullMoved(40);
  EXPECT_EQ(pulls.triggered, 1) << "still the same pull";
  pulls.control.pullEnded();
  EXPECT_EQ(pulls.control.pullDistance(), 0);

  pulls.pull(true, {kTrigger + 5});
  EXPECT_EQ(pulls.triggered, 2) << "the next pull triggers again";
}

TEST(RefreshControl, IgnoresPullsAwayFromTheTopOrTurningIntoScrolls) {
  CountingControl pulls;
  pulls.pull(false, {kTrigger * 3});
  EXPECT_EQ(pulls.triggered, 0) << "the content was scrolled down";
  EXPECT_EQ(pulls.control.pullDistance(), 0);

  // Moves before the answer about the top are not counted.
  pulls.control.pullBegan();
  pulls.control.pullMoved(kTrigger * 3);
  pulls.control.contentAtTop(true);
  EXPECT_EQ(pulls.triggered, 0);
  pulls.control.pullMoved(kTrigger - 1);
  EXPECT_EQ(pulls.triggered, 0);

  // Scrolling the page down, then back up past the top, is no pull.
  pulls.pull(true, {10, -11, kTrigger * 3});
  EXPECT_EQ(pulls.triggered, 0);
  EXPECT_EQ(pulls.control.pullDistance(), 0);

  // A late answer for an ended pull changes nothing.
  pulls.control.pullEnded();
  pulls.control.contentAtTop(true);
  pulls.control.pullMoved(kTrigger * 3);
  EXPECT_EQ(pulls.triggered, 0);
}

TEST(RefreshControl, PullReloadsThePageAndEndsTheSpinnerAtOnce) {
  testing::ControllerHarness harness;
  harness.controller->load("/");
  harness.webView->committedURL = "https://portal.example.com/";
  auto& control = *harness.webView->refreshControl();
  bool sawRefreshing = false;
  control.observe([&] { sawRefreshing = sawRefreshing || control.isRefreshing(); });
  control.pullBegan();
  control.contentAtTop(true);
  control.pullMoved(kTrigger);
  EXPECT_EQ(harness.webView->reloads, 1);
  EXPECT_TRUE(sawRefreshing) << "the spinner showed";
  EXPECT_FALSE(control.isRefreshing()) << "and ended before the reload finished";
  harness.controller->handlePullToRefresh();
  EXPECT_EQ(harness.webView->reloads, 2) << "the keys reload the same way";
}

}  // namespace
}  // namespace tarvelportal
