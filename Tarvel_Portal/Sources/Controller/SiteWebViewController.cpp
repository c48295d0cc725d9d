#include "Tarvel_Portal/Sources/Controller/SiteWebViewController.hpp"

#include <glib.h>

#include <algorithm>
#include <array>

#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "Tarvel_Portal/Sources/Controller/BroadcastMessage.hpp"
#include "Tarvel_Portal/Sources/Controller/WeakScriptMessageHandler.hpp"

namespace tarvelportal {
namespace {

constexpr std::array kOfflineCodes{platform::NSURLError::notConnectedToInternet,
                                   platform::NSURLError::networkConnectionLost, platform::NSURLError::timedOut,
                                   platform::NSURLError::cannotConnectToHost, platform::NSURLError::cannotFindHost,
                                   platform::NSURLError::dataNotAllowed};

constexpr const char* kLogDomain = "TarvelPortal";

}  // namespace

std::shared_ptr<SiteWebViewController> SiteWebViewController::make(SiteWebViewEnvironment environment) {
  auto controller = std::shared_ptr<SiteWebViewController>(new SiteWebViewController(std::move(environment)));
  platform::WKWebViewConfiguration configuration;
  configuration.applicationNameForUserAgent = std::string(kApplicationName);
  configuration.allowsInlineMediaPlayback = true;
  configuration.mediaPlaybackRequiresUserAction = false;
  configuration.allowsBackForwardNavigationGestures = true;
  // The handler exists only in the bridge's world, so no page or frame can
  // post to it except through the relay, which reports the frame's origin.
  const auto bridgeWorld = platform::WKContentWorld::world(std::string(kBridgeWorldName));
  auto& userContent = configuration.userContentController;
  if (const auto& bridge = controller->environment_.bridgeScript) {
    constexpr auto atStart = platform::WKUserScript::InjectionTime::atDocumentStart;
    userContent.addUserScript({bridge->page, atStart, false, platform::WKContentWorld::page()});
    userContent.addUserScript({bridge->relay, atStart, false, bridgeWorld});
  }
  userContent.add(WeakScriptMessageHandler::make(controller), bridgeWorld, std::string(kBroadcastHandlerName));
  controller->webView_ = controller->environment_.makeWebView(configuration);
  controller->webView_->setNavigationDelegate(controller);
  controller->webView_->setUIDelegate(controller);
  auto refreshControl = std::make_shared<platform::UIRefreshControl>();
  refreshControl->addTarget([weak = std::weak_ptr(controller)] {
    if (const auto strong = weak.lock()) strong->handlePullToRefresh();
  });
  controller->webView_->setRefreshControl(std::move(refreshControl));
  return controller;
}

void SiteWebViewController::load(std::string_view path) {
  const auto url = environment_.startURL.resolve(path);
  if (!url) return;
  loadRequest({*url, kRequestTimeout});
}

void SiteWebViewController::loadRequest(platform::URLRequest request) {
  lastRequest_ = request;
  webView_->load(request);
}

void SiteWebViewController::reloadCurrentPage() {
  if (webView_->url()) {
    webView_->reload();
  } else if (lastRequest_) {
    webView_->load(*lastRequest_);
  }
}

void SiteWebViewController::handlePullToRefresh() {
  reloadCurrentPage();
  // The spinner does not wait for the reload.
  webView_->refreshControl()->endRefreshing();
}

void SiteWebViewController::retry() {
  isOffline.set(false);
  reloadCurrentPage();
}

void SiteWebViewController::didFinishNavigation() { isOffline.set(false); }

void SiteWebViewController::didFailNavigation(const platform::NSError& error) { handleNavigationError(error); }

void SiteWebViewController::didFailProvisionalNavigation(const platform::NSError& error) {
  handleNavigationError(error);
}

void SiteWebViewController::handleNavigationError(const platform::NSError& error) {
  if (error.domain != platform::NSURLErrorDomain) return;
  if (std::find(kOfflineCodes.begin(), kOfflineCodes.end(), error.code) == kOfflineCodes.end()) return;
  g_log(kLogDomain, G_LOG_LEVEL_INFO, "offline: %s (%ld)", error.localizedDescription.c_str(), error.code);
  isOffline.set(true);
}

std::shared_ptr<platform::WKWebView> SiteWebViewController::createWebView(const platform::WKNavigationAction& action) {
  if (!action.hasTargetFrame) loadRequest(action.request);
  return nullptr;
}

void SiteWebViewController::present(std::shared_ptr<platform::UIAlertController> alert) {
  if (const auto top = environment_.topViewController ? environment_.topViewController() : nullptr) {
    top->present(std::move(alert));
    return;
  }
  // No window to ask in: the page gets the answer it would get on dismissal.
  const auto& actions = alert->actions();
  const auto dismissal = std::find_if(actions.begin(), actions.end(), [](const auto& action) {
    return action.style == platform::UIAlertAction::Style::cancel;
  });
  alert->respond(dismissal != actions.end() ? dismissal->title : actions.front().title, std::nullopt);
}

void SiteWebViewController::runJavaScriptAlertPanel(const std::string& message,
                                                    std::function<void()> completionHandler) {
  auto alert = platform::UIAlertController::make(message);
  alert->addAction({"OK", platform::UIAlertAction::Style::defaultStyle,
                    [completionHandler = std::move(completionHandler)](const auto&) { completionHandler(); }});
  present(std::move(alert));
}

void SiteWebViewController::runJavaScriptConfirmPanel(const std::string& message,
                                                      std::function<void(bool)> completionHandler) {
  auto alert = platform::UIAlertController::make(message);
  alert->addAction({"Abbrechen", platform::UIAlertAction::Style::cancel,
                    [completionHandler](const auto&) { completionHandler(false); }});
  alert->addAction({"OK", platform::UIAlertAction::Style::defaultStyle,
                    [completionHandler](const auto&) { completionHandler(true); }});
  present(std::move(alert));
}

void SiteWebViewController::runJavaScriptTextInputPanel(
    const std::string& prompt, const std::optional<std::string>& defaultText,
    std::function<void(std::optional<std::string>)> completionHandler) {
  auto alert = platform::UIAlertController::make(prompt);
  alert->addTextField(defaultText.value_or(""));
  alert->addAction({"Abbrechen", platform::UIAlertAction::Style::cancel,
                    [completionHandler](const auto&) { completionHandler(std::nullopt); }});
  alert->addAction({"OK", platform::UIAlertAction::Style::defaultStyle,
                    [completionHandler](const auto& text) { completionHandler(text); }});
  present(std::move(alert));
}

void SiteWebViewController::handleScriptMessage(const platform::WKScriptMessage& message) {
  // Only the portal's own frames may arm or disarm: any other page or frame
  // could otherwise send the user's screen to a server of its choosing.
  if (message.name == kBroadcastHandlerName && !isFromPortal(message)) {
    const auto frame = broadcastMessageFrameOrigin(message).value_or("(unknown)");
    g_log(kLogDomain, G_LOG_LEVEL_WARNING, "broadcast message from %.*s outside the portal dropped",
          static_cast<int>(std::min<std::size_t>(frame.size(), 200)), frame.data());
    return;
  }
  const auto decoded = decodeBroadcastMessage(message);
  if (const auto* armed = std::get_if<BroadcastArmed>(&decoded)) {
    tarvelportalbroadcast::saveBroadcastConfig(armed->url, armed->key);
    setBroadcastArmedLater(true);
  } else if (std::holds_alternative<BroadcastDisarmed>(decoded)) {
    tarvelportalbroadcast::clearBroadcastConfig();
    setBroadcastArmedLater(false);
  }
}

bool SiteWebViewController::isFromPortal(const platform::WKScriptMessage& message) const {
  const auto page = webView_->url();
  const auto frame = broadcastMessageFrameOrigin(message);
  return page && frame && environment_.startURL.isSameOrigin(*page) && environment_.startURL.isSameOrigin(*frame);
}

void SiteWebViewController::setBroadcastArmedLater(bool armed) {
  environment_.mainQueue([weak = weak_from_this(), armed] {
    if (const auto controller = weak.lock()) controller->broadcastArmed.set(armed);
  });
}

}  // namespace tarvelportal
