#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/WebKit/UIRefreshControl.hpp"
#include "Platform/WebKit/URLRequest.hpp"
#include "Platform/WebKit/WKNavigationDelegate.hpp"
#include "Platform/WebKit/WKUIDelegate.hpp"

namespace platform {

// What a page's owner asks of a web view. Delegates are held weakly.
class WKWebView {
 public:
  virtual ~WKWebView() = default;

  virtual void load(const URLRequest& request) = 0;
  // Loads the committed page again; does nothing before a page was committed.
  virtual void reload() = 0;
  // The page being shown: the URL of the last committed load.
  virtual std::optional<std::string> url() const = 0;

  virtual void setNavigationDelegate(std::weak_ptr<WKNavigationDelegate> delegate) = 0;
  virtual void setUIDelegate(std::weak_ptr<WKUIDelegate> delegate) = 0;
  // Pull-down-to-refresh over the page; the view reports the user's pulls to it.
  virtual void setRefreshControl(std::shared_ptr<UIRefreshControl> control) = 0;
  virtual const std::shared_ptr<UIRefreshControl>& refreshControl() const = 0;
};

}  // namespace platform
