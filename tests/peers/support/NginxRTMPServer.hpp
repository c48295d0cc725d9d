#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "tests/peers/support/BackgroundProcess.hpp"
#include "tests/peers/support/Process.hpp"

namespace peers {

// nginx with its RTMP module on a free loopback port, one live application
// "live" that records every publication to `<name>.flv` in its directory.
class NginxRTMPServer {
 public:
  NginxRTMPServer();

  int port() const noexcept { return port_; }
  // rtmp://127.0.0.1:<port>/live
  std::string url() const;
  std::filesystem::path recording(const std::string& name) const { return directory_.path() / (name + ".flv"); }
  // Ends the server at once, as a crash would.
  void kill() { process_->kill(); }

 private:
  TemporaryDirectory directory_;
  int port_;
  std::unique_ptr<BackgroundProcess> process_;
};

}  // namespace peers
