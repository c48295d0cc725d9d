#pragma once

#include <cstdint>
#include <memory>

#include "Fluvio/Sources/Network/NetworkMonitorEvent.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace fluvio {

class StreamConvertible;

// Adapts a stream's bit rates to what the network monitor reports. A stream
// hands every event it is dispatched to its strategy, passing itself.
class StreamBitRateStrategy {
 public:
  virtual ~StreamBitRateStrategy() = default;

  // Bits per second; constant for the strategy's life, so readable from anywhere.
  virtual std::int64_t mamimumVideoBitRate() const noexcept = 0;
  virtual std::int64_t mamimumAudioBitRate() const noexcept = 0;

  // Never throws.
  virtual platform::Async<void> adjustBitrate(NetworkMonitorEvent event, std::shared_ptr<StreamConvertible> stream) = 0;
};

}  // namespace fluvio
