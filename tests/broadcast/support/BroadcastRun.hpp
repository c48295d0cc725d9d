#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"
#include "tests/peers/support/Process.hpp"

namespace broadcast_tests {

// The German text a broadcast without stored values ends with.
extern const std::string missingCredentialsText;

// One test's broadcasts: a settings home of its own (this process and the
// services it starts share it), and the broadcast service running the
// extension as a process of its own.
class BroadcastRun {
 public:
  BroadcastRun();
  ~BroadcastRun();
  BroadcastRun(const BroadcastRun&) = delete;
  BroadcastRun& operator=(const BroadcastRun&) = delete;

  const std::filesystem::path& directory() const { return directory_.path(); }
  // broadcast-service with the extension, the synthetic sources unless
  // `options` say otherwise, and `environment` on top of this process's.
  std::unique_ptr<replaykit_tests::ServiceProcess> start(
      const std::vector<std::string>& options, const std::map<std::string, std::string>& environment = {});

 private:
  peers::TemporaryDirectory directory_;
  int services_ = 0;
};

}  // namespace broadcast_tests
