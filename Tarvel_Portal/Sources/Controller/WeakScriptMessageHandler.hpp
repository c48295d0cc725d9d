#pragma once

#include <memory>

#include "Platform/WebKit/WKScriptMessageHandler.hpp"
#include "Tarvel_Portal/Sources/Controller/WKScriptMessageHandlerDelegate.hpp"

namespace tarvelportal {

// Registered with the web view in place of its delegate, so the web view (which
// the delegate owns) never keeps the delegate alive. Messages that arrive after
// the delegate is gone are dropped.
class WeakScriptMessageHandler final : public platform::WKScriptMessageHandler {
 public:
  static std::shared_ptr<WeakScriptMessageHandler> make(std::weak_ptr<WKScriptMessageHandlerDelegate> delegate) {
    return std::shared_ptr<WeakScriptMessageHandler>(new WeakScriptMessageHandler(std::move(delegate)));
  }

  void userContentController(const platform::WKScriptMessage& message) override {
    if (const auto delegate = delegate_.lock()) delegate->handleScriptMessage(message);
  }

 private:
  explicit WeakScriptMessageHandler(std::weak_ptr<WKScriptMessageHandlerDelegate> delegate)
      : delegate_(std::move(delegate)) {}

  std::weak_ptr<WKScriptMessageHandlerDelegate> delegate_;
};

}  // namespace tarvelportal
