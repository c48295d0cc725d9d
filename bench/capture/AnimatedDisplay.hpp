#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include "Platform/ReplayKit/Tests/Support/VirtualDisplay.hpp"

namespace capturebench {

// A 1280x720 X server of our own whose picture changes every frame: a
// square crosses a filled screen, moved by a thread of its own whose
// allocations are not the pipeline's.
class AnimatedDisplay {
 public:
  // Xvfb writes its output into `directory`.
  explicit AnimatedDisplay(const std::filesystem::path& directory);
  ~AnimatedDisplay();
  AnimatedDisplay(const AnimatedDisplay&) = delete;
  AnimatedDisplay& operator=(const AnimatedDisplay&) = delete;

  // The value for DISPLAY.
  const std::string& name() const { return display_.name(); }

 private:
  void animate();

  replaykit_tests::VirtualDisplay display_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace capturebench
