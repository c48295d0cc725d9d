#pragma once

#include <chrono>
#include <functional>

#include "Platform/WebKit/Gtk/WKLoadTimer.hpp"

namespace tarvelportal::testing {

// A load timer that expires only when the test says so.
class ManualLoadTimer final : public platform::WKLoadTimer {
 public:
  void start(std::chrono::milliseconds timeout, std::function<void()> expired) override {
    timeout_ = timeout;
    expired_ = std::move(expired);
  }
  void cancel() override { expired_ = nullptr; }

  bool isRunning() const noexcept { return expired_ != nullptr; }
  // The time-out of the last start.
  std::chrono::milliseconds timeout() const noexcept { return timeout_; }
  // The running time-out passes now; nothing happens when none runs.
  void expire() {
    auto expired = std::move(expired_);
    expired_ = nullptr;
    if (expired) expired();
  }

 private:
  std::chrono::milliseconds timeout_{0};
  std::function<void()> expired_;
};

}  // namespace tarvelportal::testing
