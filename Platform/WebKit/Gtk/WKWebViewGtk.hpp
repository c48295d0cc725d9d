#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <string>

#include "Platform/WebKit/Gtk/WKLoadTimer.hpp"
#include "Platform/WebKit/WKWebView.hpp"
#include "Platform/WebKit/WKWebViewConfiguration.hpp"

namespace platform {

// The web view on the desktop's web engine: one engine view widget, its loads
// reported to the delegates, its script dialogs to the UI delegate and its
// script messages to the registered handlers, and its pulls to the refresh
// control. A load that has not finished
// within its request's time-out, committed or not, is stopped and reported as
// timed out.
class WKWebViewGtk final : public WKWebView {
 public:
  static std::shared_ptr<WKWebViewGtk> make(const WKWebViewConfiguration& configuration,
                                            std::shared_ptr<WKLoadTimer> loadTimer = makeMainLoopLoadTimer());
  ~WKWebViewGtk() override;
  WKWebViewGtk(const WKWebViewGtk&) = delete;
  WKWebViewGtk& operator=(const WKWebViewGtk&) = delete;

  // The engine's widget, to be placed in a window.
  GtkWidget* widget() const noexcept { return widget_; }

  void load(const URLRequest& request) override;
  void reload() override;
  std::optional<std::string> url() const override { return committedURL_; }
  void setNavigationDelegate(std::weak_ptr<WKNavigationDelegate> delegate) override;
  void setUIDelegate(std::weak_ptr<WKUIDelegate> delegate) override;
  void setRefreshControl(std::shared_ptr<UIRefreshControl> control) override { refreshControl_ = std::move(control); }
  const std::shared_ptr<UIRefreshControl>& refreshControl() const override { return refreshControl_; }

 private:
  struct Signals;
  WKWebViewGtk(const WKWebViewConfiguration& configuration, std::shared_ptr<WKLoadTimer> loadTimer);

  // Touchpad scrolls and touch drags over the page, reported to the refresh control.
  void addPullGestures();
  void beginPull();

  GtkWidget* widget_ = nullptr;
  WKUserContentController userContent_;
  std::weak_ptr<WKNavigationDelegate> navigationDelegate_;
  std::weak_ptr<WKUIDelegate> uiDelegate_;
  std::optional<std::string> committedURL_;
  std::chrono::seconds timeoutInterval_{60};
  std::shared_ptr<WKLoadTimer> loadTimer_;
  std::shared_ptr<UIRefreshControl> refreshControl_;
  GCancellable* pageQueries_ = g_cancellable_new();
  GtkEventController* pullScroll_ = nullptr;
  GtkEventController* pullDrag_ = nullptr;
  double dragOffset_ = 0;
  bool loadFailed_ = false;
  bool loadTimedOut_ = false;
};

}  // namespace platform
