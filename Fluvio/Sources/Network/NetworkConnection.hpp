#pragma once

#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace fluvio {

// A connection actor's connected state and its close operation.
class NetworkConnection : public platform::Actor {
 public:
  using platform::Actor::Actor;

  virtual platform::Async<bool> connected() = 0;
  // Throws the transport's errors.
  virtual platform::Async<void> close() = 0;
};

}  // namespace fluvio
