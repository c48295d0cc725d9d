#pragma once

#include <gtk/gtk.h>

#include <functional>

namespace tarvelportal {

// The opaque screen shown while the portal cannot be reached, with a button
// that tries again.
GtkWidget* makeOfflineView(std::function<void()> onRetry);

}  // namespace tarvelportal
