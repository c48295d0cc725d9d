#pragma once

#include <functional>
#include <vector>

namespace platform {

// Pull-down-to-refresh for a scroll view. A pull that starts with the content
// at its top and goes down past `kTriggerDistance` begins refreshing, once per
// pull, and tells the targets; a target ends the refreshing when it likes. A
// pull that turns into scrolling the content down is no pull.
class UIRefreshControl {
 public:
  static constexpr double kTriggerDistance = 72;

  // Called when a pull begins refreshing.
  void addTarget(std::function<void()> valueChanged) { targets_.push_back(std::move(valueChanged)); }
  // Called when the pulled distance or the refreshing state changes.
  void observe(std::function<void()> changed) { observers_.push_back(std::move(changed)); }

  bool isRefreshing() const noexcept { return refreshing_; }
  // How far the current pull has come, in points; 0 outside a pull.
  double pullDistance() const noexcept { return distance_; }
  void endRefreshing();

  // What the scroll view reports of one gesture: its start, whether the
  // content was at its top then (known a little later), each movement (down
  // positive) and the release.
  void pullBegan();
  void contentAtTop(bool atTop);
  void pullMoved(double down);
  void pullEnded();

 private:
  enum class Pull { none, awaitingTop, pulling, ignored };

  void setDistance(double distance);
  void notify() const;

  Pull pull_ = Pull::none;
  double distance_ = 0;
  bool triggered_ = false;
  bool refreshing_ = false;
  std::vector<std::function<void()>> targets_;
  std::vector<std::function<void()>> observers_;
};

}  // namespace platform
