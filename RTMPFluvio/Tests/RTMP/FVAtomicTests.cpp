#include "RTMPFluvio/Sources/RTMP/FVAtomic.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace rtmpfluvio {
namespace {

TEST(FVAtomicTests, ConcurrentIncrementsLeaveTheExactTotal) {
  FVAtomic<int> counter(0);
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 8; ++thread) {
    threads.emplace_back([&] {
      for (int step = 0; step < 1000; ++step) {
        counter.mutate([](int& value) { ++value; });
        static_cast<void>(counter.value());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counter.value(), 8000);
}

}  // namespace
}  // namespace rtmpfluvio
