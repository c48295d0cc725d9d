#pragma once

#include <cstdint>
#include <memory>

#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace fluvio {

class NetworkMonitor;

// A transport's byte counters at one moment.
struct NetworkTransportReport {
  // Handed to the transport and not yet sent.
  std::int64_t queueBytesOut = 0;
  std::int64_t totalBytesIn = 0;
  std::int64_t totalBytesOut = 0;

  friend bool operator==(const NetworkTransportReport&, const NetworkTransportReport&) = default;
};

// A transport actor that offers its counters to a network monitor.
class NetworkTransportReporter : public platform::Actor {
 public:
  using platform::Actor::Actor;

  // A new monitor watching this reporter (which it holds weakly).
  virtual platform::Async<std::shared_ptr<NetworkMonitor>> makeNetworkMonitor() = 0;
  virtual platform::Async<NetworkTransportReport> makeNetworkTransportReport() = 0;
};

}  // namespace fluvio
