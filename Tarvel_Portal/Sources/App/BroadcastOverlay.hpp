#pragma once

#include <adwaita.h>

#include <memory>

#include "Platform/ReplayKitUI/RPSystemBroadcastPickerView.hpp"
#include "Tarvel_Portal/Sources/App/BroadcastPickerButton.hpp"

namespace tarvelportal {

// The floating start button above its caption. It springs in (scale and
// opacity) when shown and shrinks away when hidden.
class BroadcastOverlay {
 public:
  static std::unique_ptr<BroadcastOverlay> make(const BroadcastServiceConfiguration& configuration);
  ~BroadcastOverlay();
  BroadcastOverlay(const BroadcastOverlay&) = delete;
  BroadcastOverlay& operator=(const BroadcastOverlay&) = delete;

  GtkWidget* widget() const noexcept { return fixed_; }
  const platform::RPSystemBroadcastPickerView& picker() const noexcept { return *picker_; }
  void setShown(bool shown);
  bool isAnimating() const { return adw_animation_get_state(animation_) == ADW_ANIMATION_PLAYING; }

 private:
  explicit BroadcastOverlay(const BroadcastServiceConfiguration& configuration);
  void apply(double progress);

  std::shared_ptr<platform::RPSystemBroadcastPickerView> picker_;
  GtkWidget* fixed_;
  GtkWidget* stack_;
  AdwAnimation* animation_ = nullptr;
  double progress_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace tarvelportal
