#include "tests/broadcast/support/BroadcastRun.hpp"

#include <stdlib.h>

namespace broadcast_tests {

const std::string missingCredentialsText =
    "Kein aktiver Stream gefunden. Bitte in der Tarvel-Portal-App zuerst unter \"Live\" einen Stream mit "
    "\"Bildschirm (Handyspiel)\" starten, bevor die Aufnahme hier gestartet wird.";

BroadcastRun::BroadcastRun() { ::setenv("XDG_CONFIG_HOME", (directory() / "config").c_str(), 1); }

BroadcastRun::~BroadcastRun() { ::unsetenv("XDG_CONFIG_HOME"); }

std::unique_ptr<replaykit_tests::ServiceProcess> BroadcastRun::start(
    const std::vector<std::string>& options, const std::map<std::string, std::string>& environment) {
  std::vector<std::string> arguments = {BROADCAST_SERVICE_PATH, "--video", "synthetic", "--audio", "synthetic"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.push_back(EXTENSION_PATH);
  auto merged = environment;
  merged.emplace("XDG_CONFIG_HOME", (directory() / "config").string());
  const auto output = directory() / ("service" + std::to_string(++services_));
  std::filesystem::create_directories(output);
  return std::make_unique<replaykit_tests::ServiceProcess>(arguments, merged, output);
}

}  // namespace broadcast_tests
