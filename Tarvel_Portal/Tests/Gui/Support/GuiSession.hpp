#pragma once

#include <gio/gio.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tarvelportal::testing {

// The process's display session: a private X server and D-Bus session bus,
// started before the first test and ended with the process; website data and
// settings in a fresh directory.
class GuiSession {
 public:
  static const std::filesystem::path& home();
  // The environment a program started by a test needs to join the session.
  static std::vector<std::string> environment();
};

// Runs the main loop until `condition` holds; false when `timeout` passes first.
bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds timeout = std::chrono::seconds(45));

// A program that ends when the test process does, even if the test crashes.
GSubprocess* spawnTiedToTest(const std::vector<std::string>& argv, GSubprocessFlags flags,
                             const std::vector<std::string>& environment = {});

}  // namespace tarvelportal::testing
