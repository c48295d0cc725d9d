#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "Platform/ReplayKitUI/RPBroadcastService.hpp"

namespace platform {

// The broadcast button: a view holding one round button that starts the
// broadcast service with the preferred extension and, while it runs, stops
// it. A broadcast that fails is reported in an alert over the button's window.
class RPSystemBroadcastPickerView {
 public:
  static std::shared_ptr<RPSystemBroadcastPickerView> make(int width, int height, std::string servicePath);
  ~RPSystemBroadcastPickerView();
  RPSystemBroadcastPickerView(const RPSystemBroadcastPickerView&) = delete;
  RPSystemBroadcastPickerView& operator=(const RPSystemBroadcastPickerView&) = delete;

  GtkWidget* view() const noexcept { return view_; }
  GtkWidget* button() const noexcept { return button_; }
  bool isBroadcasting() const { return service_ && service_->isRunning(); }

  void setPreferredExtension(std::string extension) { preferredExtension_ = std::move(extension); }

 private:
  RPSystemBroadcastPickerView(int width, int height, std::string servicePath);
  void toggle();
  void showState(bool running);
  void showError(const std::string& message);

  std::string servicePath_;
  std::string preferredExtension_;
  std::shared_ptr<RPBroadcastService> service_;
  GtkWidget* view_;
  GtkWidget* button_;
};

}  // namespace platform
