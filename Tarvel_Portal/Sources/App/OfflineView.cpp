#include "Tarvel_Portal/Sources/App/OfflineView.hpp"

#include <adwaita.h>

namespace tarvelportal {

GtkWidget* makeOfflineView(std::function<void()> onRetry) {
  auto* page = adw_status_page_new();
  adw_status_page_set_icon_name(ADW_STATUS_PAGE(page), "network-wireless-offline-symbolic");
  adw_status_page_set_title(ADW_STATUS_PAGE(page), "Keine Internetverbindung");
  adw_status_page_set_description(ADW_STATUS_PAGE(page),
                                  "Tarvel-Portal braucht eine Verbindung zum Laden der Inhalte.");
  gtk_widget_add_css_class(page, "offline-view");

  auto* retry = gtk_button_new_with_label("Erneut versuchen");
  gtk_widget_set_halign(retry, GTK_ALIGN_CENTER);
  gtk_widget_add_css_class(retry, "pill");
  gtk_widget_add_css_class(retry, "suggested-action");
  adw_status_page_set_child(ADW_STATUS_PAGE(page), retry);
  g_signal_connect_data(
      retry, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) { (*static_cast<std::function<void()>*>(data))(); }),
      new std::function<void()>(std::move(onRetry)),
      [](gpointer data, GClosure*) { delete static_cast<std::function<void()>*>(data); }, GConnectFlags{});
  return page;
}

}  // namespace tarvelportal
