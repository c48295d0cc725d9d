#pragma once

#include <adwaita.h>
#include <webkit/webkit.h>

#include <string>

#include "Tarvel_Portal/Sources/App/TarvelPortalApp.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/GuiSession.hpp"

namespace tarvelportal::testing {

// The app's window, shown, on a given start URL, with the stand-in broadcast
// service or the one given, and page loads timed by the main loop or by the
// timer given.
class PortalWindow {
 public:
  explicit PortalWindow(const std::string& startURL,
                        const BroadcastServiceConfiguration& broadcastService = {TARVEL_PORTAL_STAND_IN_SERVICE,
                                                                                 "TarvelPortalBroadcast.so"},
                        std::shared_ptr<platform::WKLoadTimer> loadTimer = platform::makeMainLoopLoadTimer());
  ~PortalWindow();
  PortalWindow(const PortalWindow&) = delete;
  PortalWindow& operator=(const PortalWindow&) = delete;

  GtkWidget* window() const noexcept { return window_; }
  ContentView& content() const { return TarvelPortalApp::contentView(window_); }
  SiteWebViewController& controller() const { return *content().webController(); }
  WebKitWebView* webView() const;

  // Waits until the page at `url` has finished loading.
  bool waitForPage(const std::string& url);
  // Runs script in the page as its own code would.
  void runScript(const std::string& script);
  // Runs script in the page and waits for its value, as text. Scripts run in
  // order, so once this returns every earlier one has run.
  std::string evaluate(const std::string& script);
  // Waits until the start button has settled in (or out of) view.
  bool waitForButton(bool shown);
  // The message dialog shown over the window, once there is one.
  AdwMessageDialog* waitForDialog();
  static bool dialogGone();
  // Answers `dialog` with the button titled `title`.
  static void respond(AdwMessageDialog* dialog, const std::string& title);

 private:
  GtkWidget* window_;
};

}  // namespace tarvelportal::testing
