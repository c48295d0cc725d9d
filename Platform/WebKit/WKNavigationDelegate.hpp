#pragma once

#include "Platform/WebKit/NSError.hpp"

namespace platform {

// Told how the loads of a web view end. A failed load is not also reported as
// finished.
class WKNavigationDelegate {
 public:
  virtual ~WKNavigationDelegate() = default;
  virtual void didFinishNavigation() = 0;
  // The load failed after its page was committed.
  virtual void didFailNavigation(const NSError& error) = 0;
  // The load failed before anything of its page was shown.
  virtual void didFailProvisionalNavigation(const NSError& error) = 0;
};

}  // namespace platform
