#pragma once

#include <chrono>
#include <memory>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/QuartzCore/DisplayTickSource.hpp"

namespace platform {

// Ticks on a steady timer. Frame times stay on the grid laid down at
// subscription, so they do not drift with scheduling delays; frames the
// executor was too busy to deliver are skipped, as a display skips them.
// Ticks of all subscriptions run one at a time on the given executor.
class SteadyDisplayTickSource final : public DisplayTickSource {
 public:
  explicit SteadyDisplayTickSource(Executor executor);

  std::unique_ptr<Subscription> subscribe(std::chrono::nanoseconds period, Tick tick) override;

 private:
  Executor strand_;
};

}  // namespace platform
