#include "Tarvel_Portal/Sources/App/SiteWebViewContainer.hpp"

#include "Platform/WebKit/Gtk/WKWebViewGtk.hpp"

namespace tarvelportal {

GtkWidget* siteWebViewContainer(const SiteWebViewController& controller) {
  auto* widget = static_cast<platform::WKWebViewGtk&>(*controller.webView()).widget();
  gtk_widget_set_hexpand(widget, TRUE);
  gtk_widget_set_vexpand(widget, TRUE);
  return widget;
}

}  // namespace tarvelportal
