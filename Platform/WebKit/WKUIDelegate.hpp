#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Platform/WebKit/URLRequest.hpp"

namespace platform {

class WKWebView;

// A navigation the page asked for; a request for a new window has no target frame.
struct WKNavigationAction {
  URLRequest request;
  bool hasTargetFrame = true;
};

// Answers a page's requests for windows and dialogs. Each completion handler
// must be called exactly once.
class WKUIDelegate {
 public:
  virtual ~WKUIDelegate() = default;
  // The view to open a new window in; none keeps the page where it is.
  virtual std::shared_ptr<WKWebView> createWebView(const WKNavigationAction& action) = 0;
  virtual void runJavaScriptAlertPanel(const std::string& message, std::function<void()> completionHandler) = 0;
  virtual void runJavaScriptConfirmPanel(const std::string& message, std::function<void(bool)> completionHandler) = 0;
  virtual void runJavaScriptTextInputPanel(const std::string& prompt, const std::optional<std::string>& defaultText,
                                           std::function<void(std::optional<std::string>)> completionHandler) = 0;
};

}  // namespace platform
