#pragma once

#include <chrono>

#include "Platform/Concurrency/Executor.hpp"

namespace platform {

// Suspends the calling task on a steady timer. Throws operation_aborted
// (see isCancellation) when the task is cancelled meanwhile.
Async<void> sleepFor(std::chrono::steady_clock::duration duration);

}  // namespace platform
