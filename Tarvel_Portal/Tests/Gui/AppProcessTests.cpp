#include <gtest/gtest.h>

#include <csignal>

#include "Tarvel_Portal/Tests/Gui/Fixtures.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/GuiSession.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PageServer.hpp"

namespace tarvelportal::testing {
namespace {

// The app as users run it, quit the way a session ends it.
class AppProcess {
 public:
  explicit AppProcess(const std::string& startURL)
      : process_(spawnTiedToTest({TARVEL_PORTAL_APP, "--start-url", startURL}, G_SUBPROCESS_FLAGS_NONE,
                                 GuiSession::environment())) {}
  ~AppProcess() {
    if (process_ != nullptr) g_object_unref(process_);
  }
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;

  // Quits with SIGTERM; true when the app ended cleanly.
  bool quit() {
    g_subprocess_send_signal(process_, SIGTERM);
    bool done = false;
    g_subprocess_wait_async(
        process_, nullptr, [](GObject*, GAsyncResult*, gpointer data) { *static_cast<bool*>(data) = true; }, &done);
    return waitUntil([&] { return done; }) && g_subprocess_get_if_exited(process_) &&
           g_subprocess_get_exit_status(process_) == 0;
  }

 private:
  GSubprocess* process_;
};

TEST(PortalApp, CookieSurvivesARestartAndTheUserAgentNamesTheApp) {
  auto server = PageServer::start();
  server->addPage("/", {portalPage("Anmeldung", "<script>fetch('/loaded')</script>"),
                        {{"Set-Cookie", "portal-session=tarvel-42; Max-Age=86400; Path=/; HttpOnly"}}});
  {
    AppProcess app(server->url("/"));
    ASSERT_TRUE(waitUntil([&] { return server->count("/loaded") == 1; }));
    EXPECT_TRUE(server->request("/")->cookie.empty());
    EXPECT_TRUE(server->request("/")->userAgent.ends_with(" TarvelPortalApp")) << server->request("/")->userAgent;
    ASSERT_TRUE(app.quit());
  }
  AppProcess app(server->url("/"));
  ASSERT_TRUE(waitUntil([&] { return server->count("/loaded") == 2; }));
  EXPECT_EQ(server->request("/", 1)->cookie, "portal-session=tarvel-42");
  EXPECT_TRUE(app.quit());
}

TEST(PortalApp, RefusesAStartURLThatIsNoWebSite) {
  auto* process = spawnTiedToTest({TARVEL_PORTAL_APP, "--start-url", "portal.example.com"},
                                  G_SUBPROCESS_FLAGS_STDERR_SILENCE, GuiSession::environment());
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(g_subprocess_wait(process, nullptr, nullptr));
  EXPECT_TRUE(g_subprocess_get_if_exited(process));
  EXPECT_EQ(g_subprocess_get_exit_status(process), 2);
  g_object_unref(process);
}

}  // namespace
}  // namespace tarvelportal::testing
