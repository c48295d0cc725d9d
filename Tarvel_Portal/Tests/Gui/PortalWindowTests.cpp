#include <gtest/gtest.h>

#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "Tarvel_Portal/Tests/Gui/Fixtures.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PageServer.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PortalWindow.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/Screenshot.hpp"

namespace tarvelportal::testing {
namespace {

// Where the start button's disc must be red: left of its centre, clear of the
// white symbol, in window coordinates.
graphene_point_t buttonSample(const PortalWindow& portal) {
  graphene_rect_t bounds;
  EXPECT_TRUE(gtk_widget_compute_bounds(portal.content().broadcastOverlay().picker().view(), portal.window(), &bounds));
  return {bounds.origin.x + 10, bounds.origin.y + bounds.size.height / 2};
}

TEST(PortalWindow, PageArmsAndDisarmsTheStartButton) {
  auto server = PageServer::start();
  server->addPage("/", {portalPage("Willkommen")});
  PortalWindow portal(server->url("/"));
  ASSERT_TRUE(portal.waitForPage(server->url("/")));
  EXPECT_EQ(server->count("/"), 1u) << "the site root loads once on appearance";
  EXPECT_FALSE(gtk_widget_get_visible(portal.content().offlineView().view));
  ASSERT_TRUE(portal.waitForButton(false));
  // The engine paints after the load ends: wait for the page's blue header.
  graphene_rect_t page;
  ASSERT_TRUE(gtk_widget_compute_bounds(portal.content().widget(), portal.window(), &page));
  const auto headerShown = [&] {
    const auto pixel = Screenshot::of(portal.window()).at(static_cast<int>(page.origin.x) + 10,
                                                          static_cast<int>(page.origin.y) + 10);
    return pixel.red == 0x1c && pixel.green == 0x71 && pixel.blue == 0xd8;
  };
  ASSERT_TRUE(waitUntil(headerShown));
  const auto idle = Screenshot::of(portal.window());
  idle.save("portal-page");

  portal.runScript("TarvelBroadcast.arm('rtmp://127.0.0.1:1935/live', 'stream-key-1')");
  ASSERT_TRUE(waitUntil([&] { return portal.controller().broadcastArmed.value(); }));
  ASSERT_TRUE(portal.waitForButton(true));
  const auto stored = tarvelportalbroadcast::readBroadcastConfig();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->url, "rtmp://127.0.0.1:1935/live");
  EXPECT_EQ(stored->key, "stream-key-1");

  // The overlay keeps 20 px to the trailing edge and 100 px to the bottom.
  graphene_rect_t overlay;
  graphene_rect_t content;
  ASSERT_TRUE(gtk_widget_compute_bounds(portal.content().broadcastOverlay().widget(), portal.window(), &overlay));
  ASSERT_TRUE(gtk_widget_compute_bounds(portal.content().widget(), portal.window(), &content));
  EXPECT_NEAR(content.origin.x + content.size.width - (overlay.origin.x + overlay.size.width), 20, 0.5);
  EXPECT_NEAR(content.origin.y + content.size.height - (overlay.origin.y + overlay.size.height), 100, 0.5);
  const auto armed = Screenshot::of(portal.window());
  armed.save("armed");
  const auto sample = buttonSample(portal);
  EXPECT_TRUE(isButtonRed(armed.at(static_cast<int>(sample.x), static_cast<int>(sample.y))));
  EXPECT_FALSE(isButtonRed(idle.at(static_cast<int>(sample.x), static_cast<int>(sample.y))));

  portal.runScript("window.dispatchEvent(new CustomEvent('tarvel-broadcast', {detail: {type: 'disarmed'}}))");
  ASSERT_TRUE(waitUntil([&] { return !portal.controller().broadcastArmed.value(); }));
  ASSERT_TRUE(portal.waitForButton(false));
  EXPECT_FALSE(tarvelportalbroadcast::readBroadcastConfig());
}

// The page's own inline script listens for the bridge's ready event, uses the
// bridge from there, and tells the server at load how often it heard it.
TEST(PortalWindow, PageScriptHearsTheBridgeReadyOncePerLoad) {
  tarvelportalbroadcast::clearBroadcastConfig();
  auto server = PageServer::start();
  server->addPage("/", {portalPage("Live", R"(<script>
    window.readyHeard = 0;
    window.addEventListener("tarvel-broadcast-ready", () => {
      window.readyHeard++;
      TarvelBroadcast.arm("rtmp://127.0.0.1:1935/live", "ready-key");
    });
    window.addEventListener("load", () => fetch("/loaded?heard=" + window.readyHeard));
  </script>)")});
  PortalWindow portal(server->url("/"));
  const auto expectHeardOnce = [&](std::size_t load) {
    ASSERT_TRUE(waitUntil([&] { return server->count("/loaded") == load; }));
    EXPECT_EQ(server->request("/loaded", load - 1)->query, "heard=1");
    ASSERT_TRUE(waitUntil([] { return tarvelportalbroadcast::readBroadcastConfig().has_value(); }))
        << "the bridge could not be used when it said it was ready";
    EXPECT_EQ(tarvelportalbroadcast::readBroadcastConfig()->key, "ready-key");
    EXPECT_EQ(portal.evaluate("window.readyHeard"), "1") << "heard again after the load";
    tarvelportalbroadcast::clearBroadcastConfig();
  };
  expectHeardOnce(1);
  // A new document hears it anew.
  portal.runScript("location.reload()");
  expectHeardOnce(2);
}

}  // namespace
}  // namespace tarvelportal::testing
