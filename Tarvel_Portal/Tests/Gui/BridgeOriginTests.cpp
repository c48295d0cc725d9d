#include <gtest/gtest.h>

#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "Tarvel_Portal/Tests/Gui/Fixtures.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PageServer.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PortalWindow.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/WarningLog.hpp"

namespace tarvelportal::testing {
namespace {

std::string originOf(const PageServer& server) { return "http://127.0.0.1:" + std::to_string(server.port()); }

// Tries every way the bridge offers, in this window and in the parent's, with
// the portal's origin forged into the message, then reports to its own server
// how many of the parent's ways were reachable.
std::string hostileScript(const std::string& forgedOrigin) {
  return R"(<script>
  window.addEventListener("load", () => {
    const message = {type: "armed", url: "rtmp://127.0.0.1:1/evil", key: "evil-key", frameOrigin: ")" +
         forgedOrigin + R"("};
    window.webkit.messageHandlers.tarvelBroadcast.postMessage(message);
    TarvelBroadcast.arm(message.url, message.key);
    window.dispatchEvent(new CustomEvent("tarvel-broadcast", {detail: message}));
    TarvelBroadcast.disarm();
    let reached = 0;
    for (const attempt of [
      () => parent.webkit.messageHandlers.tarvelBroadcast.postMessage(message),
      () => parent.TarvelBroadcast.arm(message.url, message.key),
      () => parent.dispatchEvent(new CustomEvent("tarvel-broadcast", {detail: message})),
    ]) {
      try { attempt(); reached++; } catch (error) {}
    }
    fetch("/attempted?reached=" + reached);
  });
</script>)";
}
// What the script posts in its own window; as a top-level page, the parent's
// ways are its own and post as often again, less the disarm.
constexpr std::size_t kHostileMessages = 4;
constexpr std::size_t kHostileMessagesAtTop = 7;

std::string storedKey() {
  const auto stored = tarvelportalbroadcast::readBroadcastConfig();
  return stored ? stored->url + " " + stored->key : "(nothing)";
}

bool warnedAbout(const WarningLog& log, const std::string& origin, std::size_t count) {
  std::size_t found = 0;
  for (const auto& line : log.lines()) found += line.find("from " + origin + " ") != std::string::npos;
  return found == count;
}


TEST(PortalBridgeOrigin, FramesOfAnotherOriginCannotArmOrDisarm) {
  tarvelportalbroadcast::clearBroadcastConfig();
  WarningLog warnings;
  auto portalServer = PageServer::start();
  auto foreignServer = PageServer::start();
  portalServer->addPage("/", {portalPage("Live")});
  portalServer->addPage("/own-frame", {portalPage("Eigener Rahmen", R"(<script>
    window.addEventListener("load", () => window.dispatchEvent(new CustomEvent("tarvel-broadcast",
        {detail: {type: "armed", url: "rtmp://127.0.0.1:1935/frame", key: "portal-key-2"}})));
  </script>)")});
  foreignServer->addPage("/frame", {portalPage("Werbung", hostileScript(originOf(*portalServer)))});
  PortalWindow portal(portalServer->url("/"));
  ASSERT_TRUE(portal.waitForPage(portalServer->url("/")));
  portal.runScript("TarvelBroadcast.arm('rtmp://127.0.0.1:1935/live', 'portal-key-1')");
  ASSERT_TRUE(waitUntil([&] { return storedKey() == "rtmp://127.0.0.1:1935/live portal-key-1"; }));

  portal.runScript("document.body.appendChild(Object.assign(document.createElement('iframe'), {src: '" +
                   foreignServer->url("/frame") + "'}))");
  ASSERT_TRUE(waitUntil([&] {
    return foreignServer->request("/attempted") && warnedAbout(warnings, originOf(*foreignServer), kHostileMessages);
  }));
  EXPECT_EQ(foreignServer->request("/attempted")->query, "reached=0") << "the parent's bridge is out of reach";
  EXPECT_EQ(storedKey(), "rtmp://127.0.0.1:1935/live portal-key-1") << "neither replaced nor cleared";
  EXPECT_TRUE(portal.controller().broadcastArmed.value());
  for (const auto& line : warnings.lines()) EXPECT_EQ(line.find("evil-key"), std::string::npos) << line;

  // The portal's own frames still arm, after the hostile messages: a frame of
  // the portal's origin, then the page itself.
  portal.runScript("document.body.appendChild(Object.assign(document.createElement('iframe'), {src: '" +
                   portalServer->url("/own-frame") + "'}))");
  ASSERT_TRUE(waitUntil([&] { return storedKey() == "rtmp://127.0.0.1:1935/frame portal-key-2"; }));
  portal.runScript("window.webkit.messageHandlers.tarvelBroadcast.postMessage({type: 'disarmed'})");
  ASSERT_TRUE(waitUntil([&] { return !tarvelportalbroadcast::readBroadcastConfig(); }));
  EXPECT_EQ(warnings.lines().size(), kHostileMessages) << "the portal's own messages were not refused";
}

TEST(PortalBridgeOrigin, TopLevelPageOfAnotherOriginCannotArm) {
  tarvelportalbroadcast::clearBroadcastConfig();
  WarningLog warnings;
  auto portalServer = PageServer::start();
  auto foreignServer = PageServer::start();
  portalServer->addPage("/", {portalPage("Start")});
  foreignServer->addPage("/", {portalPage("Fremde Seite", hostileScript(originOf(*portalServer)))});
  PortalWindow portal(portalServer->url("/"));
  ASSERT_TRUE(portal.waitForPage(portalServer->url("/")));
  portal.runScript("location.href = '" + foreignServer->url("/") + "'");
  ASSERT_TRUE(waitUntil([&] {
    return foreignServer->request("/attempted") &&
           warnedAbout(warnings, originOf(*foreignServer), kHostileMessagesAtTop);
  }));
  EXPECT_FALSE(tarvelportalbroadcast::readBroadcastConfig());
  EXPECT_FALSE(portal.controller().broadcastArmed.value());
  EXPECT_FALSE(gtk_widget_get_visible(portal.content().broadcastOverlay().widget()));

  // Back on the portal, the same bridge arms.
  portal.runScript("location.href = '" + portalServer->url("/") + "'");
  ASSERT_TRUE(waitUntil([&] { return portalServer->count("/") == 2; }));
  ASSERT_TRUE(portal.waitForPage(portalServer->url("/")));
  portal.runScript("TarvelBroadcast.arm('rtmp://127.0.0.1:1935/live', 'portal-key')");
  ASSERT_TRUE(waitUntil([&] { return storedKey() == "rtmp://127.0.0.1:1935/live portal-key"; }))
      << ::testing::PrintToString(warnings.lines());
  EXPECT_EQ(warnings.lines().size(), kHostileMessagesAtTop);
  tarvelportalbroadcast::clearBroadcastConfig();
}

}  // namespace
}  // namespace tarvelportal::testing
