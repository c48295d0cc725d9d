#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace peers {

// A program started in the background and stopped (SIGTERM, then SIGKILL)
// when this goes away, unless it has ended before.
class BackgroundProcess {
 public:
  // Runs `arguments[0]` found on the path; its output goes to `logPath`.
  BackgroundProcess(const std::vector<std::string>& arguments, const std::string& logPath);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  // Ends it at once, as a crash would.
  void kill();
  // Asks it to end and waits at most `seconds`; true when it ended by itself.
  bool stop(double seconds = 5);

 private:
  pid_t pid_ = -1;
};

// A TCP port on 127.0.0.1 that nothing listens on right now.
int freeLoopbackPort();
// Waits at most `seconds` until something accepts connections on the port.
bool waitForListener(int port, double seconds = 10);

}  // namespace peers
