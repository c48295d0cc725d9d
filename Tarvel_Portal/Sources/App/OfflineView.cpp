#include "Tarvel_Portal/Sources/App/OfflineView.hpp"

namespace tarvelportal {
namespace {

constexpr int kSpacing = 16;
constexpr int kEdgePadding = 16;
constexpr int kIconSize = 44;
constexpr int kMessagePadding = 32;
constexpr int kRetryTopPadding = 8;

GtkWidget* label(const char* text, const char* styleClass) {
  auto* label = gtk_label_new(text);
  gtk_widget_add_css_class(label, styleClass);
  return label;
}

}  // namespace

OfflineView makeOfflineView(std::function<void()> onRetry) {
  auto* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, kSpacing);
  gtk_widget_set_halign(column, GTK_ALIGN_CENTER);
  gtk_widget_set_valign(column, GTK_ALIGN_CENTER);
  gtk_widget_set_margin_top(column, kEdgePadding);
  gtk_widget_set_margin_bottom(column, kEdgePadding);
  gtk_widget_set_margin_start(column, kEdgePadding);
  gtk_widget_set_margin_end(column, kEdgePadding);

  auto* icon = gtk_image_new_from_icon_name("network-wireless-offline-symbolic");
  gtk_image_set_pixel_size(GTK_IMAGE(icon), kIconSize);
  gtk_widget_set_halign(icon, GTK_ALIGN_CENTER);
  gtk_widget_add_css_class(icon, "offline-secondary");
  gtk_box_append(GTK_BOX(column), icon);

  auto* title = label("Keine Internetverbindung", "offline-title");
  gtk_box_append(GTK_BOX(column), title);

  auto* message = label("Tarvel-Portal braucht eine Verbindung zum Laden der Inhalte.", "offline-message");
  gtk_widget_add_css_class(message, "offline-secondary");
  gtk_label_set_wrap(GTK_LABEL(message), TRUE);
  gtk_label_set_justify(GTK_LABEL(message), GTK_JUSTIFY_CENTER);
  gtk_label_set_max_width_chars(GTK_LABEL(message), 40);
  gtk_widget_set_margin_start(message, kMessagePadding);
  gtk_widget_set_margin_end(message, kMessagePadding);
  gtk_box_append(GTK_BOX(column), message);

  auto* retry = gtk_button_new_with_label("Erneut versuchen");
  gtk_widget_add_css_class(retry, "offline-retry");
  gtk_widget_set_halign(retry, GTK_ALIGN_CENTER);
  gtk_widget_set_margin_top(retry, kRetryTopPadding);
  gtk_box_append(GTK_BOX(column), retry);
  g_signal_connect_data(
      retry, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) { (*static_cast<std::function<void()>*>(data))(); }),
      new std::function<void()>(std::move(onRetry)),
      [](gpointer data, GClosure*) { delete static_cast<std::function<void()>*>(data); }, GConnectFlags{});

  // The opaque background fills the whole content area, the column sits in its centre.
  auto* view = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_widget_add_css_class(view, "offline-view");
  gtk_widget_set_hexpand(view, TRUE);
  gtk_widget_set_vexpand(view, TRUE);
  gtk_widget_set_vexpand(column, TRUE);
  gtk_box_append(GTK_BOX(view), column);
  return {view, icon, title, message, retry};
}

}  // namespace tarvelportal
