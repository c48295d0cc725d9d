#pragma once

#include <gtest/gtest.h>

// Under AddressSanitizer every block comes from the heap, so that a use after
// release is caught: counts of recycled blocks do not apply there.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_WITHOUT_RECYCLING() GTEST_SKIP() << "every block comes from the heap under AddressSanitizer"
#else
#define SKIP_WITHOUT_RECYCLING() (void)0
#endif
