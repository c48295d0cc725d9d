#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "Platform/WebKit/Gtk/WKLoadTimer.hpp"
#include "Tarvel_Portal/Sources/App/BroadcastOverlay.hpp"
#include "Tarvel_Portal/Sources/App/OfflineView.hpp"
#include "Tarvel_Portal/Sources/Controller/SiteWebViewController.hpp"

namespace tarvelportal {

// The window's content: the portal's web view full size, the start button
// floating over it while a broadcast is armed, and the offline screen over
// both while the portal cannot be reached. The site root loads whenever the
// view appears; a pull down at the page's top, F5 and Ctrl+R reload.
class ContentView {
 public:
  // The view lives as long as its widget. `loadTimer` times the page loads.
  static ContentView& make(const PortalURL& startURL, const BroadcastServiceConfiguration& broadcastService,
                           std::shared_ptr<platform::WKLoadTimer> loadTimer);

  GtkWidget* widget() const noexcept { return overlay_; }
  const std::shared_ptr<SiteWebViewController>& webController() const noexcept { return webController_; }
  const OfflineView& offlineView() const noexcept { return offlineView_; }
  GtkWidget* refreshIndicator() const noexcept { return refreshIndicator_; }
  const BroadcastOverlay& broadcastOverlay() const noexcept { return *broadcastOverlay_; }

 private:
  ContentView(const PortalURL& startURL, const BroadcastServiceConfiguration& broadcastService,
              std::shared_ptr<platform::WKLoadTimer> loadTimer);

  GtkWidget* overlay_;
  std::shared_ptr<SiteWebViewController> webController_;
  std::unique_ptr<BroadcastOverlay> broadcastOverlay_;
  OfflineView offlineView_;
  GtkWidget* refreshIndicator_;
};

}  // namespace tarvelportal
