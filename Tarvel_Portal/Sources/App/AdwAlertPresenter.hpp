#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "Platform/UIKit/UIAlertController.hpp"

namespace tarvelportal {

// Shows alerts as libadwaita message dialogs over one window. The cancel
// action answers Escape and closing; the other action is the default.
class AdwAlertPresenter final : public platform::UIViewController {
 public:
  // The presenter of the shown window that holds `widget`; none when there is
  // no such window.
  static std::shared_ptr<AdwAlertPresenter> forWidget(GtkWidget* widget);

  void present(std::shared_ptr<platform::UIAlertController> alert) override;

 private:
  explicit AdwAlertPresenter(GtkWindow* window) : window_(window) {}

  GtkWindow* window_;
};

}  // namespace tarvelportal
