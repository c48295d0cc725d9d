#pragma once

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Tarvel_Portal/Sources/Controller/SiteWebViewController.hpp"

namespace tarvelportal::testing {

// A web view that records what it is asked to do; the committed page is set by the test.
class RecordingWebView final : public platform::WKWebView {
 public:
  std::vector<platform::URLRequest> loads;
  int reloads = 0;
  std::optional<std::string> committedURL;

  void load(const platform::URLRequest& request) override { loads.push_back(request); }
  void reload() override { ++reloads; }
  std::optional<std::string> url() const override { return committedURL; }
  void setNavigationDelegate(std::weak_ptr<platform::WKNavigationDelegate>) override {}
  void setUIDelegate(std::weak_ptr<platform::WKUIDelegate>) override {}
  void setRefreshControl(std::shared_ptr<platform::UIRefreshControl> control) override {
    refreshControl_ = std::move(control);
  }
  const std::shared_ptr<platform::UIRefreshControl>& refreshControl() const override { return refreshControl_; }

 private:
  std::shared_ptr<platform::UIRefreshControl> refreshControl_;
};

// The front window: keeps the alerts it is asked to show.
class RecordingPresenter final : public platform::UIViewController {
 public:
  std::vector<std::shared_ptr<platform::UIAlertController>> alerts;
  void present(std::shared_ptr<platform::UIAlertController> alert) override { alerts.push_back(std::move(alert)); }
};

// A controller on recording doubles, with a main queue the test drains and the
// shared settings in a directory of its own.
class ControllerHarness {
 public:
  explicit ControllerHarness(std::string startURL = "https://portal.example.com/") {
    char pattern[] = "/tmp/tarvel-portal-XXXXXX";
    configHome_ = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
    controller = SiteWebViewController::make({
        *PortalURL::make(startURL),
        [this](const platform::WKWebViewConfiguration& configuration) {
          this->configuration = configuration;
          webView = std::make_shared<RecordingWebView>();
          return webView;
        },
        [this]() -> std::shared_ptr<platform::UIViewController> { return windowShown ? presenter : nullptr; },
        [this](std::function<void()> work) { mainQueue.push_back(std::move(work)); },
        std::nullopt,
    });
  }
  ~ControllerHarness() {
    controller.reset();
    std::filesystem::remove_all(configHome_);
  }
  ControllerHarness(const ControllerHarness&) = delete;
  ControllerHarness& operator=(const ControllerHarness&) = delete;

  // Runs what was posted to the main queue so far.
  void drainMainQueue() {
    auto work = std::move(mainQueue);
    mainQueue.clear();
    for (auto& item : work) item();
  }

  platform::WKScriptMessageHandler& scriptHandler() const {
    return *configuration.userContentController.scriptMessageHandlers.at("tarvelBroadcast").handler;
  }

  platform::WKWebViewConfiguration configuration;
  std::shared_ptr<RecordingWebView> webView;
  std::shared_ptr<RecordingPresenter> presenter = std::make_shared<RecordingPresenter>();
  bool windowShown = true;
  std::vector<std::function<void()>> mainQueue;
  std::shared_ptr<SiteWebViewController> controller;

 private:
  std::filesystem::path configHome_;
};

}  // namespace tarvelportal::testing
