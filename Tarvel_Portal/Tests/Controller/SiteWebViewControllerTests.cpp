#include <gtest/gtest.h>

#include "Platform/WebKit/WKNavigationError.hpp"
#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "Tarvel_Portal/Tests/Controller/Support/ControllerHarness.hpp"

namespace tarvelportal {
namespace {

using platform::WKScriptDictionary;
using testing::ControllerHarness;

constexpr const char* kPortalOrigin = "https://portal.example.com";

// Messages as the bridge's relay posts them from a frame of `frameOrigin`.
platform::WKScriptMessage armed(std::string url, std::string key, std::string frameOrigin = kPortalOrigin) {
  return {"tarvelBroadcast", WKScriptDictionary{{"type", "armed"},
                                                {"url", std::move(url)},
                                                {"key", std::move(key)},
                                                {"frameOrigin", std::move(frameOrigin)}}};
}
platform::WKScriptMessage disarmed(std::string frameOrigin = kPortalOrigin) {
  return {"tarvelBroadcast", WKScriptDictionary{{"type", "disarmed"}, {"frameOrigin", std::move(frameOrigin)}}};
}

// Engine errors as observed, through the classification, to the offline flag.
TEST(SiteWebViewController, OfflineFollowsTheClassifiedEngineErrors) {
  struct Case {
    const char* observed;
    const char* domain;
    int code;
    long urlCode;
    bool offline;
  };
  const Case cases[] = {
      {"refused port", "g-io-error-quark", 39, platform::NSURLError::cannotConnectToHost, true},
      {"unresolvable host", "g-resolver-error-quark", 0, platform::NSURLError::cannotFindHost, true},
      {"resolver unreachable", "g-resolver-error-quark", 1, platform::NSURLError::cannotFindHost, true},
      {"connection lost mid-response", "g-io-error-quark", 34, platform::NSURLError::networkConnectionLost, true},
      {"connection closed", "g-io-error-quark", 44, platform::NSURLError::networkConnectionLost, true},
      {"network unreachable", "g-io-error-quark", 38, platform::NSURLError::notConnectedToInternet, true},
      {"host unreachable", "g-io-error-quark", 37, platform::NSURLError::cannotConnectToHost, true},
      {"socket time-out", "g-io-error-quark", 24, platform::NSURLError::timedOut, true},
      {"cancelled load", "WebKitNetworkError", 302, platform::NSURLError::cancelled, false},
      {"cancelled socket", "g-io-error-quark", 19, platform::NSURLError::cancelled, false},
      {"transport failure", "WebKitNetworkError", 300, platform::NSURLError::networkConnectionLost, true},
      {"unknown scheme", "WebKitNetworkError", 301, platform::NSURLError::unsupportedURL, false},
      {"TLS handshake", "g-tls-error-quark", 3, platform::NSURLError::secureConnectionFailed, false},
      {"other I/O failure", "g-io-error-quark", 0, platform::NSURLError::unknown, false},
  };
  for (const auto& testCase : cases) {
    const auto error = platform::navigationError(testCase.domain, testCase.code, testCase.observed);
    EXPECT_EQ(error.domain, platform::NSURLErrorDomain) << testCase.observed;
    EXPECT_EQ(error.code, testCase.urlCode) << testCase.observed;
    for (const bool provisional : {true, false}) {
      ControllerHarness harness;
      provisional ? harness.controller->didFailProvisionalNavigation(error) : harness.controller->didFailNavigation(error);
      EXPECT_EQ(harness.controller->isOffline.value(), testCase.offline) << testCase.observed;
    }
  }
  // A policy interruption is not a URL error and keeps its own domain.
  const auto policy = platform::navigationError("WebKitPolicyError", 102, "interrupted");
  EXPECT_EQ(policy.domain, "WebKitPolicyError");
  EXPECT_EQ(policy.code, 102);
}

TEST(SiteWebViewController, OnlyAFinishedLoadOrARetryClearsOffline) {
  ControllerHarness harness;
  auto& controller = *harness.controller;
  const platform::NSError offline{"NSURLErrorDomain", platform::NSURLError::notConnectedToInternet, ""};
  controller.didFailProvisionalNavigation(offline);
  ASSERT_TRUE(controller.isOffline.value());
  controller.didFailNavigation({"NSURLErrorDomain", platform::NSURLError::cancelled, ""});
  controller.didFailNavigation({"WebKitPolicyError", platform::NSURLError::notConnectedToInternet, ""});
  EXPECT_TRUE(controller.isOffline.value());
  controller.didFinishNavigation();
  EXPECT_FALSE(controller.isOffline.value());

  controller.didFailProvisionalNavigation(offline);
  controller.retry();
  EXPECT_FALSE(controller.isOffline.value()) << "the retry hides the offline screen before the reload ends";
}

TEST(SiteWebViewController, ResolvesPathsAgainstTheStartURL) {
  struct Case {
    const char* startURL;
    const char* path;
    std::optional<std::string> requested;
  };
  const Case cases[] = {
      {"https://portal.example.com/", "/", "https://portal.example.com/"},
      {"https://portal.example.com/", "/live?tab=2#top", "https://portal.example.com/live?tab=2#top"},
      {"https://portal.example.com/", "live", "https://portal.example.com/live"},
      {"https://portal.example.com/", "../../up", "https://portal.example.com/up"},
      {"https://portal.example.com/", "https://other.example/x", "https://other.example/x"},
      {"https://portal.example.com/", "//cdn.example/x", "https://cdn.example/x"},
      {"https://portal.example.com/", "", std::nullopt},
      {"https://portal.example.com/", "a b", std::nullopt},
      {"https://portal.example.com/", "http://[::1", std::nullopt},
      {"http://127.0.0.1:8080/portal/", "/", "http://127.0.0.1:8080/"},
      {"http://127.0.0.1:8080/portal/", "live", "http://127.0.0.1:8080/portal/live"},
  };
  for (const auto& testCase : cases) {
    ControllerHarness harness(testCase.startURL);
    harness.controller->load(testCase.path);
    if (!testCase.requested) {
      EXPECT_TRUE(harness.webView->loads.empty()) << testCase.path;
      continue;
    }
    ASSERT_EQ(harness.webView->loads.size(), 1u) << testCase.path;
    EXPECT_EQ(harness.webView->loads[0].url, *testCase.requested) << testCase.path;
    EXPECT_EQ(harness.webView->loads[0].timeoutInterval, std::chrono::seconds(60));
  }
}

TEST(SiteWebViewController, StartURLMustBeAWebSiteRoot) {
  for (const char* text : {"portal.example.com", "/relative", "ftp://portal.example.com/", "https://", "", "https:///x"}) {
    EXPECT_FALSE(PortalURL::make(text)) << text;
  }
  EXPECT_TRUE(PortalURL::make("https://portal.example.com"));
}

TEST(SiteWebViewController, AcceptsScriptMessagesOnlyFromThePortalOrigin) {
  struct Case {
    std::optional<std::string> page;
    bool accepted;
  };
  const Case cases[] = {
      {"https://portal.example.com/live", true},
      {"https://PORTAL.example.com:443/live?x=1", true},
      {"https://user@portal.example.com/", true},
      {"http://portal.example.com/live", false},
      {"https://portal.example.com:8443/live", false},
      {"https://portal.example.com.evil.example/", false},
      {"https://evil.example/portal.example.com/", false},
      {"about:blank", false},
      {std::nullopt, false},
  };
  for (const auto& testCase : cases) {
    ControllerHarness harness;
    harness.webView->committedURL = testCase.page;
    harness.scriptHandler().userContentController(armed("rtmp://ingest/live", "secret"));
    harness.drainMainQueue();
    const auto stored = tarvelportalbroadcast::readBroadcastConfig();
    EXPECT_EQ(stored.has_value(), testCase.accepted) << testCase.page.value_or("(no page)");
    EXPECT_EQ(harness.controller->broadcastArmed.value(), testCase.accepted) << testCase.page.value_or("(no page)");
  }
}

// A portal page may hold frames of other sites: only the portal's own frames
// count, and a foreign frame can neither replace nor clear what the portal armed.
TEST(SiteWebViewController, AcceptsScriptMessagesOnlyFromFramesOfThePortalOrigin) {
  ControllerHarness harness;
  harness.webView->committedURL = "https://portal.example.com/live";
  auto& handler = harness.scriptHandler();
  handler.userContentController(armed("rtmp://portal/live", "portal-key"));
  harness.drainMainQueue();
  ASSERT_TRUE(harness.controller->broadcastArmed.value());

  const platform::WKScriptMessage foreign[] = {
      armed("rtmp://evil/live", "evil-key", "https://evil.example"),
      armed("rtmp://evil/live", "evil-key", "http://portal.example.com"),
      armed("rtmp://evil/live", "evil-key", "null"),
      armed("rtmp://evil/live", "evil-key", ""),
      {"tarvelBroadcast", WKScriptDictionary{{"type", "armed"}, {"url", "rtmp://evil/live"}, {"key", "evil-key"}}},
      {"tarvelBroadcast", WKScriptDictionary{{"type", "armed"}, {"url", "rtmp://evil/live"}, {"key", "evil-key"},
                                             {"frameOrigin", 1.0}}},
      disarmed("https://evil.example"),
      {"tarvelBroadcast", WKScriptDictionary{{"type", "disarmed"}}},
  };
  for (const auto& message : foreign) handler.userContentController(message);
  harness.drainMainQueue();
  auto stored = tarvelportalbroadcast::readBroadcastConfig();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->url, "rtmp://portal/live");
  EXPECT_EQ(stored->key, "portal-key");
  EXPECT_TRUE(harness.controller->broadcastArmed.value());

  // A same-origin frame is the portal's own, however its origin is spelled.
  handler.userContentController(armed("rtmp://frame/live", "frame-key", "https://PORTAL.example.com:443"));
  stored = tarvelportalbroadcast::readBroadcastConfig();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->key, "frame-key");
  handler.userContentController(disarmed());
  EXPECT_FALSE(tarvelportalbroadcast::readBroadcastConfig());
}

TEST(SiteWebViewController, ArmingStoresAtOnceAndRaisesTheFlagOnALaterTurn) {
  ControllerHarness harness;
  harness.webView->committedURL = "https://portal.example.com/live";
  auto& handler = harness.scriptHandler();

  handler.userContentController(armed("rtmp://one/live", "key-1"));
  auto stored = tarvelportalbroadcast::readBroadcastConfig();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->url, "rtmp://one/live");
  EXPECT_EQ(stored->key, "key-1");
  EXPECT_FALSE(harness.controller->broadcastArmed.value()) << "not before the main loop turns";
  harness.drainMainQueue();
  EXPECT_TRUE(harness.controller->broadcastArmed.value());

  handler.userContentController(armed("rtmp://two/app", "key-2"));
  stored = tarvelportalbroadcast::readBroadcastConfig();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->url, "rtmp://two/app");
  EXPECT_EQ(stored->key, "key-2");

  handler.userContentController(
      {"tarvelBroadcast", WKScriptDictionary{{"type", "armed"}, {"url", "rtmp://x"}, {"frameOrigin", kPortalOrigin}}});
  EXPECT_EQ(tarvelportalbroadcast::readBroadcastConfig()->url, "rtmp://two/app") << "a malformed message changes nothing";

  handler.userContentController(disarmed());
  EXPECT_FALSE(tarvelportalbroadcast::readBroadcastConfig());
  EXPECT_TRUE(harness.controller->broadcastArmed.value()) << "not before the main loop turns";
  harness.drainMainQueue();
  EXPECT_FALSE(harness.controller->broadcastArmed.value());
}

TEST(SiteWebViewController, MessagesAfterTheControllerIsGoneAreDropped) {
  ControllerHarness harness;
  harness.webView->committedURL = "https://portal.example.com/";
  harness.scriptHandler().userContentController(armed("rtmp://a/live", "k"));
  const auto handler = harness.configuration.userContentController.scriptMessageHandlers.at("tarvelBroadcast").handler;
  std::weak_ptr<SiteWebViewController> weak = harness.controller;
  harness.controller.reset();
  EXPECT_TRUE(weak.expired()) << "the handler must not keep the controller alive";
  harness.drainMainQueue();
  handler->userContentController(disarmed());
  EXPECT_TRUE(tarvelportalbroadcast::readBroadcastConfig()) << "the dropped disarm cleared the store";
}

TEST(SiteWebViewController, RetryAndRefreshReloadTheLastRequestBeforeAnyCommit) {
  ControllerHarness harness;
  auto& controller = *harness.controller;
  controller.handlePullToRefresh();
  EXPECT_TRUE(harness.webView->loads.empty());
  EXPECT_EQ(harness.webView->reloads, 0);

  controller.load("/start");
  controller.retry();
  controller.handlePullToRefresh();
  ASSERT_EQ(harness.webView->loads.size(), 3u);
  EXPECT_EQ(harness.webView->loads[2].url, "https://portal.example.com/start");
  EXPECT_EQ(harness.webView->reloads, 0);

  harness.webView->committedURL = "https://portal.example.com/start";
  controller.retry();
  controller.handlePullToRefresh();
  EXPECT_EQ(harness.webView->reloads, 2);
  EXPECT_EQ(harness.webView->loads.size(), 3u);
}

TEST(SiteWebViewController, NewWindowRequestsLoadInTheSameView) {
  ControllerHarness harness;
  const platform::URLRequest target{"https://portal.example.com/popup", std::chrono::seconds(60)};
  EXPECT_EQ(harness.controller->createWebView({target, true}), nullptr);
  EXPECT_TRUE(harness.webView->loads.empty()) << "a navigation with a target frame is not ours to load";
  EXPECT_EQ(harness.controller->createWebView({target, false}), nullptr);
  ASSERT_EQ(harness.webView->loads.size(), 1u);
  EXPECT_EQ(harness.webView->loads[0], target);
  harness.controller->retry();
  EXPECT_EQ(harness.webView->loads.back(), target) << "the popup is the last requested page";
}

TEST(SiteWebViewController, PanelsAnswerThePageThroughTheirButtons) {
  using Answer = std::optional<std::string>;
  struct Case {
    const char* description;
    bool windowShown;
    const char* button;  // nothing: no panel is shown
    Answer edited;
    Answer confirmExpected;  // "true"/"false"
    Answer promptExpected;
  };
  const Case cases[] = {
      {"OK", true, "OK", "edited", "true", "edited"},
      {"OK keeps the preset text", true, "OK", "preset", "true", "preset"},
      {"Abbrechen", true, "Abbrechen", "edited", "false", std::nullopt},
      {"no window", false, nullptr, std::nullopt, "false", std::nullopt},
  };
  for (const auto& testCase : cases) {
    ControllerHarness harness;
    harness.windowShown = testCase.windowShown;
    int alerts = 0;
    Answer confirmAnswer;
    std::optional<Answer> promptAnswer;
    harness.controller->runJavaScriptAlertPanel("Hinweis", [&] { ++alerts; });
    harness.controller->runJavaScriptConfirmPanel("Sicher?", [&](bool value) { confirmAnswer = value ? "true" : "false"; });
    harness.controller->runJavaScriptTextInputPanel("Name?", "preset", [&](Answer text) { promptAnswer = text; });
    if (testCase.button != nullptr) {
      const auto& shown = harness.presenter->alerts;
      ASSERT_EQ(shown.size(), 3u);
      EXPECT_EQ(shown[0]->message(), "Hinweis");
      EXPECT_EQ(shown[2]->textField(), "preset");
      EXPECT_EQ(alerts + confirmAnswer.has_value() + promptAnswer.has_value(), 0) << "not before a button";
      EXPECT_TRUE(shown[0]->respond("OK", std::nullopt));
      EXPECT_TRUE(shown[1]->respond(testCase.button, std::nullopt));
      EXPECT_TRUE(shown[2]->respond(testCase.button, testCase.edited));
      EXPECT_FALSE(shown[2]->respond("OK", "again")) << "a panel answers once";
    }
    EXPECT_EQ(alerts, 1) << testCase.description;
    EXPECT_EQ(confirmAnswer, testCase.confirmExpected) << testCase.description;
    ASSERT_TRUE(promptAnswer) << testCase.description;
    EXPECT_EQ(*promptAnswer, testCase.promptExpected) << testCase.description;
  }
}

TEST(SiteWebViewController, PromptWithoutDefaultTextStartsEmpty) {
  ControllerHarness harness;
  harness.controller->runJavaScriptTextInputPanel("Name?", std::nullopt, [](auto) {});
  ASSERT_EQ(harness.presenter->alerts.size(), 1u);
  EXPECT_EQ(harness.presenter->alerts[0]->textField(), "");
}

}  // namespace
}  // namespace tarvelportal
