#include "Tarvel_Portal/Sources/App/ContentView.hpp"

#include "Platform/WebKit/Gtk/WKWebViewGtk.hpp"
#include "Tarvel_Portal/Sources/App/AdwAlertPresenter.hpp"
#include "Tarvel_Portal/Sources/App/BridgeScript.hpp"
#include "Tarvel_Portal/Sources/App/OfflineView.hpp"
#include "Tarvel_Portal/Sources/App/RefreshIndicator.hpp"
#include "Tarvel_Portal/Sources/App/SiteWebViewContainer.hpp"

namespace tarvelportal {
namespace {

void runLater(std::function<void()> work) {
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      +[](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      new std::function<void()>(std::move(work)), [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

void addReloadShortcuts(GtkWidget* widget, SiteWebViewController& controller) {
  auto* shortcuts = gtk_shortcut_controller_new();
  // Ahead of the web view, which would take the keys for itself.
  gtk_event_controller_set_propagation_phase(shortcuts, GTK_PHASE_CAPTURE);
  gtk_shortcut_controller_set_scope(GTK_SHORTCUT_CONTROLLER(shortcuts), GTK_SHORTCUT_SCOPE_LOCAL);
  auto* reload = gtk_callback_action_new(
      +[](GtkWidget*, GVariant*, gpointer data) -> gboolean {
        static_cast<SiteWebViewController*>(data)->handlePullToRefresh();
        return TRUE;
      },
      &controller, nullptr);
  gtk_shortcut_controller_add_shortcut(
      GTK_SHORTCUT_CONTROLLER(shortcuts),
      gtk_shortcut_new(gtk_alternative_trigger_new(gtk_keyval_trigger_new(GDK_KEY_F5, GdkModifierType{}),
                                                   gtk_keyval_trigger_new(GDK_KEY_r, GDK_CONTROL_MASK)),
                       reload));
  gtk_widget_add_controller(widget, shortcuts);
}

}  // namespace

ContentView& ContentView::make(const PortalURL& startURL, const BroadcastServiceConfiguration& broadcastService,
                               std::shared_ptr<platform::WKLoadTimer> loadTimer) {
  auto* view = new ContentView(startURL, broadcastService, std::move(loadTimer));
  g_object_set_data_full(G_OBJECT(view->overlay_), "tarvel-content-view", view,
                         [](gpointer data) { delete static_cast<ContentView*>(data); });
  return *view;
}

ContentView::ContentView(const PortalURL& startURL, const BroadcastServiceConfiguration& broadcastService,
                         std::shared_ptr<platform::WKLoadTimer> loadTimer)
    : overlay_(gtk_overlay_new()), broadcastOverlay_(BroadcastOverlay::make(broadcastService)) {
  webController_ = SiteWebViewController::make({
      startURL,
      [loadTimer = std::move(loadTimer)](const platform::WKWebViewConfiguration& configuration) {
        return platform::WKWebViewGtk::make(configuration, loadTimer);
      },
      [overlay = overlay_]() -> std::shared_ptr<platform::UIViewController> {
        return AdwAlertPresenter::forWidget(overlay);
      },
      runLater,
      loadBridgeScript(),
  });
  gtk_overlay_set_child(GTK_OVERLAY(overlay_), siteWebViewContainer(*webController_));
  refreshIndicator_ = makeRefreshIndicator(webController_->webView()->refreshControl());
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), refreshIndicator_);

  auto* button = broadcastOverlay_->widget();
  gtk_widget_set_halign(button, GTK_ALIGN_END);
  gtk_widget_set_valign(button, GTK_ALIGN_END);
  gtk_widget_set_margin_end(button, 20);
  gtk_widget_set_margin_bottom(button, 100);
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), button);

  offlineView_ = makeOfflineView([controller = std::weak_ptr(webController_)] {
    if (const auto strong = controller.lock()) strong->retry();
  });
  gtk_widget_set_visible(offlineView_.view, FALSE);
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), offlineView_.view);

  webController_->broadcastArmed.observe([this](bool armed) { broadcastOverlay_->setShown(armed); });
  webController_->isOffline.observe([this](bool offline) { gtk_widget_set_visible(offlineView_.view, offline); });
  addReloadShortcuts(overlay_, *webController_);
  g_signal_connect(overlay_, "map", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                     static_cast<ContentView*>(data)->webController_->load("/");
                   }),
                   this);
}

}  // namespace tarvelportal
