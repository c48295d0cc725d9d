#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "Tarvel_Portal/Tests/Gui/Fixtures.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PageServer.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/PortalWindow.hpp"
#include "Tarvel_Portal/Tests/Gui/Support/Screenshot.hpp"
#include "tests/peers/support/NginxRTMPServer.hpp"
#include "tests/peers/support/Process.hpp"

namespace tarvelportal::testing {
namespace {

// A TCP ingest on 127.0.0.1 that keeps what its one publisher sends and sees it leave.
class Ingest {
 public:
  Ingest() : service_(g_socket_service_new()) {
    port_ = g_socket_listener_add_any_inet_port(G_SOCKET_LISTENER(service_), nullptr, nullptr);
    g_signal_connect(service_, "incoming", G_CALLBACK(accepted), this);
    g_socket_service_start(service_);
  }
  ~Ingest() {
    g_socket_service_stop(service_);
    g_socket_listener_close(G_SOCKET_LISTENER(service_));
    if (connection_ != nullptr) g_object_unref(connection_);
    g_object_unref(service_);
  }

  int port() const noexcept { return port_; }
  const std::string& received() const noexcept { return received_; }
  bool connected() const noexcept { return connection_ != nullptr; }
  bool closed() const noexcept { return closed_; }

 private:
  static gboolean accepted(GSocketService*, GSocketConnection* connection, GObject*, gpointer data) {
    auto& self = *static_cast<Ingest*>(data);
    self.connection_ = G_SOCKET_CONNECTION(g_object_ref(connection));
    self.read();
    return TRUE;
  }
  void read() {
    g_input_stream_read_async(
        g_io_stream_get_input_stream(G_IO_STREAM(connection_)), buffer_, sizeof buffer_, G_PRIORITY_DEFAULT, nullptr,
        [](GObject* stream, GAsyncResult* result, gpointer data) {
          auto& self = *static_cast<Ingest*>(data);
          const auto size = g_input_stream_read_finish(G_INPUT_STREAM(stream), result, nullptr);
          if (size <= 0) {
            self.closed_ = true;
            return;
          }
          self.received_.append(self.buffer_, static_cast<std::size_t>(size));
          self.read();
        },
        this);
  }

  GSocketService* service_;
  GSocketConnection* connection_ = nullptr;
  int port_ = 0;
  char buffer_[256];
  std::string received_;
  bool closed_ = false;
};

TEST(PortalBroadcast, StartButtonStartsAndStopsTheService) {
  Ingest ingest;
  auto server = PageServer::start();
  server->addPage("/", {portalPage("Live")});
  PortalWindow portal(server->url("/"));
  ASSERT_TRUE(portal.waitForPage(server->url("/")));
  portal.runScript("TarvelBroadcast.arm('rtmp://127.0.0.1:" + std::to_string(ingest.port()) + "/live', 'key-7')");
  ASSERT_TRUE(portal.waitForButton(true));
  const auto& picker = portal.content().broadcastOverlay().picker();

  g_signal_emit_by_name(picker.button(), "clicked");
  EXPECT_TRUE(picker.isBroadcasting());
  ASSERT_TRUE(waitUntil([&] { return ingest.received() == "publish key-7\n"; }));
  EXPECT_FALSE(ingest.closed()) << "the service runs until it is stopped";
  Screenshot::of(portal.window()).save("broadcasting");

  g_signal_emit_by_name(picker.button(), "clicked");
  ASSERT_TRUE(waitUntil([&] { return ingest.closed() && !picker.isBroadcasting(); }));
  EXPECT_FALSE(tarvelportalbroadcast::readBroadcastConfig()) << "the finished broadcast cleared the settings";
  EXPECT_TRUE(PortalWindow::dialogGone()) << "a stopped broadcast is no error";
  EXPECT_TRUE(gtk_widget_get_visible(portal.content().broadcastOverlay().widget()))
      << "the button follows the page, not the settings";

  // Started again with the settings gone, the service fails with its text.
  g_signal_emit_by_name(picker.button(), "clicked");
  auto* dialog = portal.waitForDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(std::string(adw_message_dialog_get_body(dialog)).starts_with("Kein aktiver Stream gefunden."));
  EXPECT_FALSE(picker.isBroadcasting());
  Screenshot::of(portal.window(), {GTK_WIDGET(dialog)}).save("broadcast-error");
  PortalWindow::respond(dialog, "OK");
}

// The real service and extension: the portal's own screen goes to a recording ingest.
TEST(PortalBroadcast, StartButtonBroadcastsTheScreenUntilPressedAgain) {
  peers::NginxRTMPServer ingest({.record = true});
  auto server = PageServer::start();
  server->addPage("/", {portalPage("Live")});
  PortalWindow portal(server->url("/"), {TARVEL_PORTAL_BROADCAST_SERVICE, TARVEL_PORTAL_BROADCAST_EXTENSION});
  ASSERT_TRUE(portal.waitForPage(server->url("/")));
  portal.runScript("TarvelBroadcast.arm('rtmp://127.0.0.1:" + std::to_string(ingest.port()) + "/live', 'portal')");
  ASSERT_TRUE(portal.waitForButton(true));
  const auto& picker = portal.content().broadcastOverlay().picker();
  const auto recording = ingest.recordPath() / "portal.flv";
  const auto recorded = [&] {
    std::error_code error;
    return std::filesystem::file_size(recording, error) > 200'000 && !error;
  };

  g_signal_emit_by_name(picker.button(), "clicked");
  ASSERT_TRUE(waitUntil(recorded, std::chrono::seconds(30))) << "the screen reaches the ingest";
  EXPECT_TRUE(picker.isBroadcasting());
  g_signal_emit_by_name(picker.button(), "clicked");
  ASSERT_TRUE(waitUntil([&] { return !picker.isBroadcasting(); }, std::chrono::seconds(15)));
  EXPECT_TRUE(PortalWindow::dialogGone()) << "a stopped broadcast is no error";
  EXPECT_FALSE(tarvelportalbroadcast::readBroadcastConfig()) << "the finished broadcast cleared the settings";

  const auto streams = peers::run("ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 " +
                                  peers::quoted(recording.string()))
                           .output;
  EXPECT_NE(streams.find("h264,1280,720"), std::string::npos) << streams;
  EXPECT_NE(streams.find("aac"), std::string::npos) << streams;
}

}  // namespace
}  // namespace tarvelportal::testing
