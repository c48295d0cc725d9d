#pragma once

#include "Platform/WebKit/WKScriptMessage.hpp"

namespace platform {

// Receives the messages a page posts on the name it was registered under.
class WKScriptMessageHandler {
 public:
  virtual ~WKScriptMessageHandler() = default;
  virtual void userContentController(const WKScriptMessage& message) = 0;
};

}  // namespace platform
