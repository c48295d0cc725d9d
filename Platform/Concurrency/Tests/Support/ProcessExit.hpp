#pragma once

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace platform::testing {

// Whether child `pid` ends within `limit`. The kernel signals the exit on a
// descriptor of the process, so the wait ends with the exit itself. The child
// is left for its parent to reap.
inline bool exitsWithin(pid_t pid, std::chrono::milliseconds limit) {
  const int descriptor = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (descriptor < 0) return false;
  pollfd exited{descriptor, POLLIN, 0};
  int ready;
  while ((ready = ::poll(&exited, 1, static_cast<int>(limit.count()))) < 0 && errno == EINTR) {
  }
  ::close(descriptor);
  return ready > 0;
}

}  // namespace platform::testing
