#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"

namespace broadcast_tests {

// nginx with the RTMP module on a free loopback port, application "live",
// recording every publication to <directory>/record/<stream key>.flv.
// Stopped on destruction.
class NginxIngest {
 public:
  explicit NginxIngest(const std::filesystem::path& directory);
  ~NginxIngest();

  bool ready() const noexcept { return ready_; }
  int port() const noexcept { return port_; }
  std::string url() const { return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live"; }
  std::filesystem::path recording(const std::string& streamKey) const;
  // How many RTMP clients have connected so far, from the server's log.
  int connections() const;
  // Stops the server at once, as a crash would.
  void kill();

 private:
  std::filesystem::path directory_;
  int port_ = 0;
  bool ready_ = false;
  std::unique_ptr<replaykit_tests::ServiceProcess> server_;
};

// A loopback port nothing listens on now.
int freeLoopbackPort();

}  // namespace broadcast_tests
