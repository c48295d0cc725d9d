#include <gtest/gtest.h>

#include "Tarvel_Portal/Tests/Gui/Fixtures.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/ManualLoadTimer.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PageServer.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PortalWindow.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/Screenshot.hpp"

namespace tarvelportal::testing {
namespace {

bool offlineShown(const PortalWindow& portal) {
  return portal.controller().isOffline.value() && gtk_widget_get_mapped(portal.content().offlineView().view);
}

GtkWidget* retryButton(const PortalWindow& portal) {
  return portal.content().offlineView().retryButton;
}

TEST(PortalNavigation, RefusedPortShowsOfflineUntilRetrySucceeds) {
  const int port = unusedPort();
  PortalWindow portal("http://127.0.0.1:" + std::to_string(port) + "/");
  ASSERT_TRUE(waitUntil([&] { return offlineShown(portal); }));
  // With a broadcast armed as well, the offline screen still covers the button.
  portal.controller().broadcastArmed.set(true);
  ASSERT_TRUE(portal.waitForButton(true));
  graphene_rect_t button;
  ASSERT_TRUE(gtk_widget_compute_bounds(portal.content().broadcastOverlay().picker().view(), portal.window(), &button));
  const auto offline = Screenshot::of(portal.window());
  offline.save("offline");
  EXPECT_FALSE(isButtonRed(offline.at(static_cast<int>(button.origin.x + 10),
                                      static_cast<int>(button.origin.y + button.size.height / 2))));

  auto server = PageServer::start(port);
  ASSERT_TRUE(server);
  server->addPage("/", {portalPage("Wieder verbunden")});
  g_signal_emit_by_name(retryButton(portal), "clicked");
  EXPECT_FALSE(gtk_widget_get_visible(portal.content().offlineView().view)) << "hidden before the reload ends";
  ASSERT_TRUE(portal.waitForPage(server->url("/")));
  EXPECT_EQ(server->count("/"), 1u) << "the retry loads the page that failed";
  EXPECT_FALSE(portal.controller().isOffline.value());
}

graphene_rect_t boundsIn(GtkWidget* widget, GtkWidget* target) {
  graphene_rect_t bounds;
  EXPECT_TRUE(gtk_widget_compute_bounds(widget, target, &bounds));
  return bounds;
}

const PangoFontDescription* fontOf(GtkWidget* widget) {
  return pango_context_get_font_description(gtk_widget_get_pango_context(widget));
}

GdkRGBA colorOf(GtkWidget* widget) {
  GdkRGBA color;
  gtk_style_context_get_color(gtk_widget_get_style_context(widget), &color);
  return color;
}

TEST(PortalNavigation, OfflineScreenShowsItsParts) {
  PortalWindow portal("http://127.0.0.1:" + std::to_string(unusedPort()) + "/");
  ASSERT_TRUE(waitUntil([&] { return offlineShown(portal); }));
  waitForFrames(portal.window());
  const auto& offline = portal.content().offlineView();
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(offline.title)), "Keine Internetverbindung");
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(offline.message)),
               "Tarvel-Portal braucht eine Verbindung zum Laden der Inhalte.");
  EXPECT_EQ(gtk_label_get_justify(GTK_LABEL(offline.message)), GTK_JUSTIFY_CENTER);

  // The screen covers the whole content; the column sits in its middle.
  const auto screen = boundsIn(offline.view, portal.content().widget());
  const auto content = boundsIn(portal.content().widget(), portal.content().widget());
  EXPECT_EQ(screen.size.width, content.size.width);
  EXPECT_EQ(screen.size.height, content.size.height);
  const auto icon = boundsIn(offline.icon, offline.view);
  EXPECT_EQ(icon.size.width, 44);
  EXPECT_EQ(icon.size.height, 44);
  EXPECT_NEAR(icon.origin.x + 22, screen.size.width / 2, 1);

  // 16 between the parts, 8 more above the button; 32 beside the message.
  const auto title = boundsIn(offline.title, offline.view);
  const auto message = boundsIn(offline.message, offline.view);
  const auto retry = boundsIn(offline.retryButton, offline.view);
  EXPECT_EQ(title.origin.y - (icon.origin.y + icon.size.height), 16);
  EXPECT_EQ(message.origin.y - (title.origin.y + title.size.height), 16);
  EXPECT_EQ(retry.origin.y - (message.origin.y + message.size.height), 24);
  EXPECT_EQ(gtk_widget_get_margin_start(offline.message), 32);
  EXPECT_EQ(gtk_widget_get_margin_end(offline.message), 32);

  // Headline above subheadline: larger and semibold; icon and message in the secondary colour.
  EXPECT_EQ(pango_font_description_get_weight(fontOf(offline.title)), PANGO_WEIGHT_SEMIBOLD);
  EXPECT_EQ(pango_font_description_get_weight(fontOf(offline.message)), PANGO_WEIGHT_NORMAL);
  EXPECT_GT(pango_font_description_get_size(fontOf(offline.title)),
            pango_font_description_get_size(fontOf(offline.message)));
  const auto primary = colorOf(offline.title);
  EXPECT_FLOAT_EQ(colorOf(offline.icon).alpha, colorOf(offline.message).alpha);
  EXPECT_LT(colorOf(offline.message).alpha, primary.alpha);
  EXPECT_EQ(pango_font_description_get_weight(fontOf(gtk_button_get_child(GTK_BUTTON(offline.retryButton)))),
            PANGO_WEIGHT_SEMIBOLD);
  Screenshot::of(portal.window()).save("offline-screen");
}

TEST(PortalNavigation, UnresolvableHostShowsOffline) {
  PortalWindow portal("http://tarvel-portal-test.invalid/");
  ASSERT_TRUE(waitUntil([&] { return offlineShown(portal); }));
  g_signal_emit_by_name(retryButton(portal), "clicked");
  EXPECT_FALSE(gtk_widget_get_visible(portal.content().offlineView().view));
  EXPECT_TRUE(waitUntil([&] { return offlineShown(portal); })) << "the failing retry brings the screen back";
}

TEST(PortalNavigation, BlankTargetLinkOpensInTheSameView) {
  auto server = PageServer::start();
  server->addPage("/", {portalPage("Start", R"(<a id="popup" target="_blank" href="/target">Plan öffnen</a>)")});
  server->addPage("/target", {portalPage("Plan")});
  PortalWindow portal(server->url("/"));
  ASSERT_TRUE(portal.waitForPage(server->url("/")));
  portal.runScript("document.getElementById('popup').click()");
  ASSERT_TRUE(portal.waitForPage(server->url("/target")));
  GListModel* toplevels = gtk_window_get_toplevels();
  EXPECT_EQ(g_list_model_get_n_items(toplevels), 1u) << "no second window";
}

// A page whose body stops coming after the commit still times out; a page
// that finished leaves no time-out behind.
TEST(PortalNavigation, TimeOutCoversTheWholeLoad) {
  auto server = PageServer::start();
  server->addPage("/", {portalPage("Start")});
  server->addPage("/stalled", {portalPage("Halb geladen"), {}, true});
  const auto timer = std::make_shared<ManualLoadTimer>();
  PortalWindow portal(server->url("/"), {TARVEL_PORTAL_STAND_IN_SERVICE, "TarvelPortalBroadcast.so"}, timer);
  ASSERT_TRUE(portal.waitForPage(server->url("/")));
  EXPECT_EQ(timer->timeout(), std::chrono::seconds(60));
  EXPECT_FALSE(timer->isRunning()) << "the finished load stopped its time-out";
  timer->expire();
  EXPECT_FALSE(portal.controller().isOffline.value());

  portal.controller().load("/stalled");
  ASSERT_TRUE(waitUntil([&] { return portal.controller().webView()->url() == server->url("/stalled"); }));
  EXPECT_TRUE(webkit_web_view_is_loading(portal.webView())) << "the rest of the body never comes";
  ASSERT_TRUE(timer->isRunning()) << "the commit did not stop the time-out";
  EXPECT_FALSE(portal.controller().isOffline.value()) << "not before the time-out";
  timer->expire();
  ASSERT_TRUE(waitUntil([&] { return offlineShown(portal); }));
  EXPECT_FALSE(webkit_web_view_is_loading(portal.webView())) << "the stalled load was stopped";

  // The retry starts a fresh time-out, which the finished page stops again.
  server->addPage("/stalled", {portalPage("Wieder da")});
  g_signal_emit_by_name(retryButton(portal), "clicked");
  ASSERT_TRUE(portal.waitForPage(server->url("/stalled")));
  EXPECT_FALSE(timer->isRunning());
  EXPECT_FALSE(portal.controller().isOffline.value());
}

// The touch drag the web view watches for pulls.
GtkEventController* pullGesture(const PortalWindow& portal) {
  GListModel* controllers = gtk_widget_observe_controllers(GTK_WIDGET(portal.webView()));
  GtkEventController* found = nullptr;
  for (guint index = 0; index < g_list_model_get_n_items(controllers) && found == nullptr; ++index) {
    auto* controller = GTK_EVENT_CONTROLLER(g_list_model_get_item(controllers, index));
    if (GTK_IS_GESTURE_DRAG(controller) && gtk_gesture_single_get_touch_only(GTK_GESTURE_SINGLE(controller)) &&
        gtk_event_controller_get_propagation_phase(controller) == GTK_PHASE_CAPTURE) {
      found = controller;
    }
    g_object_unref(controller);
  }
  g_object_unref(controllers);
  return found;
}

TEST(PortalNavigation, PullDownAtThePageTopReloads) {
  auto server = PageServer::start();
  server->addPage("/", {portalPage("Start", R"(<div style="height: 4000px"></div>)")});
  PortalWindow portal(server->url("/"));
  ASSERT_TRUE(portal.waitForPage(server->url("/")));
  auto* drag = pullGesture(portal);
  ASSERT_NE(drag, nullptr);
  auto* indicator = portal.content().refreshIndicator();
  const auto& control = *portal.controller().webView()->refreshControl();

  // Scrolled down, the drag scrolls the page and reloads nothing.
  ASSERT_EQ(portal.evaluate("scrollTo(0, 800); String(scrollY)"), "800");
  g_signal_emit_by_name(drag, "drag-begin", 100.0, 100.0);
  portal.evaluate("0");  // the web view has its answer about the top
  g_signal_emit_by_name(drag, "drag-update", 0.0, 400.0);
  EXPECT_FALSE(gtk_widget_get_visible(indicator));
  EXPECT_FALSE(control.isRefreshing());
  g_signal_emit_by_name(drag, "drag-end", 0.0, 400.0);

  ASSERT_EQ(portal.evaluate("scrollTo(0, 0); String(scrollY)"), "0");
  g_signal_emit_by_name(drag, "drag-begin", 100.0, 100.0);
  portal.evaluate("0");
  g_signal_emit_by_name(drag, "drag-update", 0.0, 20.0);
  EXPECT_TRUE(gtk_widget_get_visible(indicator)) << "the spinner follows the pull";
  EXPECT_FALSE(gtk_spinner_get_spinning(GTK_SPINNER(indicator)));
  EXPECT_EQ(server->count("/"), 1u) << "not before the pull is far enough";
  g_signal_emit_by_name(drag, "drag-update", 0.0, 200.0);
  ASSERT_TRUE(waitUntil([&] { return server->count("/") == 2; }));
  EXPECT_FALSE(control.isRefreshing()) << "the spinner ended at once";
  g_signal_emit_by_name(drag, "drag-end", 0.0, 200.0);
  EXPECT_FALSE(gtk_widget_get_visible(indicator));
  ASSERT_TRUE(portal.waitForPage(server->url("/")));
  EXPECT_EQ(server->count("/"), 2u);
}

}  // namespace
}  // namespace tarvelportal::testing
