#include "Platform/QuartzCore/DisplayTickSource.hpp"

#include "Platform/Concurrency/SerialQueue.hpp"
#include "Platform/QuartzCore/SteadyDisplayTickSource.hpp"

namespace platform {

std::shared_ptr<DisplayTickSource> DisplayTickSource::main() {
  static const std::shared_ptr<DisplayTickSource> source =
      std::make_shared<SteadyDisplayTickSource>(MainQueue::shared().executor());
  return source;
}

}  // namespace platform
