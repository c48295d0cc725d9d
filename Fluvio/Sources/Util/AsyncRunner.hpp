#pragma once

#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace fluvio {

// The life cycle of an actor: every member runs on the actor's strand.
// Starting a running actor and stopping a stopped one change nothing.
class AsyncRunner : public platform::Actor {
 public:
  using platform::Actor::Actor;

  virtual platform::Async<bool> isRunning() const = 0;
  virtual platform::Async<void> startRunning() = 0;
  virtual platform::Async<void> stopRunning() = 0;
};

}  // namespace fluvio
