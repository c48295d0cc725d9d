#include "bench/capture/AnimatedDisplay.hpp"

#include <chrono>

#include "bench/AllocationCounter.hpp"

namespace capturebench {
namespace {

constexpr int width = 1280;
constexpr int height = 720;
constexpr int squareTravel = width - 160;

}  // namespace

AnimatedDisplay::AnimatedDisplay(const std::filesystem::path& directory) : display_(directory, width, height) {
  display_.fill(0x203040);
  thread_ = std::thread([this] { animate(); });
}

AnimatedDisplay::~AnimatedDisplay() {
  stopping_ = true;
  thread_.join();
}

void AnimatedDisplay::animate() {
  bench::leaveAllocationCount();
  const auto period = std::chrono::microseconds(33'333);
  auto next = std::chrono::steady_clock::now();
  for (int step = 0; !stopping_.load(); ++step) {
    display_.showSquare(step * 8 % squareTravel, height / 3, step % 2 ? 0xE08C00 : 0xD07C10);
    next += period;
    std::this_thread::sleep_until(next);
  }
}

}  // namespace capturebench
