#pragma once

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace guitesting {

// The test process's display session: a private X server (on a display
// number the server picks itself) and a D-Bus session bus, both ended with
// the process; settings, data, cache and runtime folders in a fresh directory;
// GTK on X11 with its software renderer, so pixels are the same everywhere.
class DisplaySession {
 public:
  // Starts the session once; the reason when it cannot start (no X server).
  static std::optional<std::string> start();
  // Removes the session's directory.
  static void end();
  static const std::filesystem::path& home();
  // The environment a program started by a test needs to join the session.
  static std::vector<std::string> environment();
};

// Runs the main loop until `condition` holds; false when `timeout` passes first.
bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds timeout = std::chrono::seconds(45));

// Runs the main loop until `widget` has been laid out and drawn again.
void waitForFrames(GtkWidget* widget);

// A program that ends when the test process does, even if the test crashes.
GSubprocess* spawnTiedToTest(const std::vector<std::string>& argv, GSubprocessFlags flags,
                             const std::vector<std::string>& environment = {});

}  // namespace guitesting
