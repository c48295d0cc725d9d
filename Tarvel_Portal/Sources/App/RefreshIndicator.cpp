#include "Tarvel_Portal/Sources/App/RefreshIndicator.hpp"

#include <algorithm>

namespace tarvelportal {

GtkWidget* makeRefreshIndicator(const std::shared_ptr<platform::UIRefreshControl>& control) {
  auto* spinner = gtk_spinner_new();
  gtk_widget_add_css_class(spinner, "refresh-indicator");
  gtk_widget_set_halign(spinner, GTK_ALIGN_CENTER);
  gtk_widget_set_valign(spinner, GTK_ALIGN_START);
  gtk_widget_set_margin_top(spinner, 12);
  gtk_widget_set_size_request(spinner, 32, 32);
  gtk_widget_set_can_target(spinner, FALSE);
  gtk_widget_set_visible(spinner, FALSE);
  // The control may report after the window let the spinner go.
  const std::shared_ptr<GtkWidget> held(GTK_WIDGET(g_object_ref(spinner)), [](GtkWidget* widget) { g_object_unref(widget); });
  control->observe([held, weak = std::weak_ptr(control)] {
    const auto control = weak.lock();
    if (!control) return;
    const double progress = std::min(control->pullDistance() / platform::UIRefreshControl::kTriggerDistance, 1.0);
    gtk_widget_set_visible(held.get(), control->isRefreshing() || progress > 0);
    gtk_widget_set_opacity(held.get(), control->isRefreshing() ? 1.0 : progress);
    gtk_spinner_set_spinning(GTK_SPINNER(held.get()), control->isRefreshing() || progress >= 1.0);
  });
  return spinner;
}

}  // namespace tarvelportal
