#include <gtest/gtest.h>

#include "Platform/Concurrency/Executor.hpp"

namespace {

// Linked into every test program: once all tests have run, the process pool
// stops, so no completion left over from a test runs while statics unwind.
class ExecutorShutdown : public ::testing::Environment {
 public:
  void TearDown() override { platform::shutdownGlobalExecutor(); }
};

[[maybe_unused]] const auto* const registered = ::testing::AddGlobalTestEnvironment(new ExecutorShutdown);

}  // namespace
