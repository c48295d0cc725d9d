#pragma once

#include <cstdint>

namespace bench {

// Allocations through operator new since the process began, made by every
// thread but those that left the count.
std::int64_t allocationCount() noexcept;
// From now on this thread's allocations are not the pipeline's.
void leaveAllocationCount() noexcept;

}  // namespace bench
