#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace peers {

// A program started in the background with its output going to a file; it
// is stopped (SIGTERM, then SIGKILL) when the object goes.
class ChildProcess {
 public:
  ChildProcess(std::vector<std::string> arguments, const std::filesystem::path& outputFile);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool isRunning();
  // SIGTERM, then SIGKILL if it has not ended within two seconds.
  void stop();
  // SIGKILL, as a crash would end it.
  void kill();

 private:
  pid_t pid_ = -1;
};

// A TCP port on 127.0.0.1 that nothing listened on a moment ago and no
// other caller, in this process or another, is given while this one runs.
std::uint16_t freeLoopbackPort();
// Waits until something listens on 127.0.0.1:`port` (read from the kernel's
// socket table, so no connection is used up). False at the deadline.
bool waitUntilListening(std::uint16_t port, std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace peers
