#pragma once

#include <exception>

namespace platform {

// Work the runtime refuses instead of hanging or losing it.
class RuntimeError : public std::exception {
 public:
  enum class Case {
    // The process pool was shut down: nothing submitted to it would run.
    shutDown,
    // blockOn on a thread of the pool (a task, an actor body, queue work):
    // the pool could wait on itself for ever.
    blockingOnPoolThread,
  };

  explicit RuntimeError(Case which) : case_(which) {}
  Case which() const noexcept { return case_; }
  const char* what() const noexcept override {
    switch (case_) {
      case Case::shutDown:
        return "shutDown";
      case Case::blockingOnPoolThread:
        return "blockingOnPoolThread";
    }
    return "unknown";
  }

 private:
  Case case_;
};

}  // namespace platform
