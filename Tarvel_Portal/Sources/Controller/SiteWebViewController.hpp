#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Platform/UIKit/UIAlertController.hpp"
#include "Platform/WebKit/WKWebView.hpp"
#include "Platform/WebKit/WKWebViewConfiguration.hpp"
#include "Tarvel_Portal/Sources/Controller/PortalURL.hpp"
#include "Tarvel_Portal/Sources/Controller/Published.hpp"
#include "Tarvel_Portal/Sources/Controller/WKScriptMessageHandlerDelegate.hpp"

namespace tarvelportal {

// The page bridge: what page script calls in every frame, and the relay in the
// bridge's own world that alone can post to the app, telling it the frame's origin.
struct BroadcastBridgeScripts {
  std::string page;
  std::string relay;
};

// What the controller needs of the toolkit: a web view made from a
// configuration, the window to show alerts in, and the main loop to defer work to.
struct SiteWebViewEnvironment {
  PortalURL startURL;
  std::function<std::shared_ptr<platform::WKWebView>(const platform::WKWebViewConfiguration&)> makeWebView;
  // The front window of the app; none when no window is shown.
  std::function<std::shared_ptr<platform::UIViewController>()> topViewController;
  // Runs the work on a later turn of the main loop.
  std::function<void(std::function<void()>)> mainQueue;
  // The page bridge; none when it cannot be read (pages then cannot arm).
  std::optional<BroadcastBridgeScripts> bridgeScript;
};

// Owns the portal's web view: loads pages relative to the start URL, tracks
// being offline from failed loads, keeps new-window requests in the same view,
// answers the page's dialogs and takes the page's broadcast messages.
class SiteWebViewController final : public platform::WKNavigationDelegate,
                                    public platform::WKUIDelegate,
                                    public WKScriptMessageHandlerDelegate,
                                    public std::enable_shared_from_this<SiteWebViewController> {
 public:
  static constexpr std::string_view kApplicationName = "TarvelPortalApp";
  static constexpr std::chrono::seconds kRequestTimeout{60};
  // The script world of the bridge's relay and of the broadcast message handler.
  static constexpr std::string_view kBridgeWorldName = "tarvelBridge";

  static std::shared_ptr<SiteWebViewController> make(SiteWebViewEnvironment environment);

  Published<bool> isOffline{false};
  Published<bool> broadcastArmed{false};
  const std::shared_ptr<platform::WKWebView>& webView() const noexcept { return webView_; }

  void load(std::string_view path);
  void handlePullToRefresh();
  // The offline screen's retry: hide it at once and load the page again.
  void retry();

  void didFinishNavigation() override;
  void didFailNavigation(const platform::NSError& error) override;
  void didFailProvisionalNavigation(const platform::NSError& error) override;

  std::shared_ptr<platform::WKWebView> createWebView(const platform::WKNavigationAction& action) override;
  void runJavaScriptAlertPanel(const std::string& message, std::function<void()> completionHandler) override;
  void runJavaScriptConfirmPanel(const std::string& message, std::function<void(bool)> completionHandler) override;
  void runJavaScriptTextInputPanel(const std::string& prompt, const std::optional<std::string>& defaultText,
                                   std::function<void(std::optional<std::string>)> completionHandler) override;

  void handleScriptMessage(const platform::WKScriptMessage& message) override;

 private:
  explicit SiteWebViewController(SiteWebViewEnvironment environment) : environment_(std::move(environment)) {}

  void loadRequest(platform::URLRequest request);
  // The committed page again; before any commit, the last requested one.
  void reloadCurrentPage();
  void handleNavigationError(const platform::NSError& error);
  // Whether the message was posted from a frame of the portal's origin while
  // the portal is the page shown.
  bool isFromPortal(const platform::WKScriptMessage& message) const;
  void setBroadcastArmedLater(bool armed);
  void present(std::shared_ptr<platform::UIAlertController> alert);

  SiteWebViewEnvironment environment_;
  std::shared_ptr<platform::WKWebView> webView_;
  std::optional<platform::URLRequest> lastRequest_;
};

}  // namespace tarvelportal
