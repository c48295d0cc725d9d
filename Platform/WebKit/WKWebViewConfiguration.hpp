#pragma once

#include <string>

#include "Platform/WebKit/WKUserContentController.hpp"

namespace platform {

// How a web view is made. Website data always lives in the persistent default
// store, so cookies and storage outlive the process.
struct WKWebViewConfiguration {
  // Appended to the engine's user agent.
  std::string applicationNameForUserAgent;
  bool allowsInlineMediaPlayback = false;
  bool mediaPlaybackRequiresUserAction = true;
  bool allowsBackForwardNavigationGestures = false;
  WKUserContentController userContentController;
};

}  // namespace platform
