#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/gui/support/DisplaySession.hpp"

namespace tarvelportal::testing {

// The process's display session (tests/gui/support) with the web engine's
// settings, started before the first test and ended with the process.
class GuiSession {
 public:
  static const std::filesystem::path& home();
  // The environment a program started by a test needs to join the session.
  static std::vector<std::string> environment();
};

using guitesting::spawnTiedToTest;
using guitesting::waitForFrames;
using guitesting::waitUntil;

}  // namespace tarvelportal::testing
