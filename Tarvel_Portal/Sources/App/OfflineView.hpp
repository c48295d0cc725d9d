#pragma once

#include <gtk/gtk.h>

#include <functional>

namespace tarvelportal {

// The opaque screen shown while the portal cannot be reached: an icon, a
// headline, a message and a button that tries again, centred in one column.
struct OfflineView {
  GtkWidget* view;
  GtkWidget* icon;
  GtkWidget* title;
  GtkWidget* message;
  GtkWidget* retryButton;
};

OfflineView makeOfflineView(std::function<void()> onRetry);

}  // namespace tarvelportal
