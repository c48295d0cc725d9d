#pragma once

#include "Platform/WebKit/WKScriptMessage.hpp"

namespace tarvelportal {

// Receives the page's script messages from a `WeakScriptMessageHandler`.
class WKScriptMessageHandlerDelegate {
 public:
  virtual ~WKScriptMessageHandlerDelegate() = default;
  virtual void handleScriptMessage(const platform::WKScriptMessage& message) = 0;
};

}  // namespace tarvelportal
