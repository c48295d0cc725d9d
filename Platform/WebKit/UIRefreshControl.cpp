#include "Platform/WebKit/UIRefreshControl.hpp"

namespace platform {

void UIRefreshControl::endRefreshing() {
  if (!refreshing_) return;
  refreshing_ = false;
  notify();
}

void UIRefreshControl::pullBegan() {
  pull_ = Pull::awaitingTop;
  triggered_ = false;
  setDistance(0);
}

void UIRefreshControl::contentAtTop(bool atTop) {
  if (pull_ == Pull::awaitingTop) pull_ = atTop ? Pull::pulling : Pull::ignored;
}

void UIRefreshControl::pullMoved(double down) {
  if (pull_ != Pull::pulling) return;
  if (distance_ + down < 0) {
    pull_ = Pull::ignored;
    setDistance(0);
    return;
  }
  setDistance(distance_ + down);
  if (distance_ < kTriggerDistance || triggered_ || refreshing_) return;
  triggered_ = true;
  refreshing_ = true;
  notify();
  for (const auto& target : targets_) target();
}

void UIRefreshControl::pullEnded() {
  pull_ = Pull::none;
  setDistance(0);
}

void UIRefreshControl::setDistance(double distance) {
  if (distance == distance_) return;
  distance_ = distance;
  notify();
}

void UIRefreshControl::notify() const {
  for (const auto& observer : observers_) observer();
}

}  // namespace platform
