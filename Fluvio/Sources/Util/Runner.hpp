#pragma once

namespace fluvio {

// The life cycle of a long-lived component. Starting a running component and
// stopping a stopped one change nothing.
class Runner {
 public:
  virtual ~Runner() = default;

  virtual bool isRunning() const = 0;
  virtual void startRunning() = 0;
  virtual void stopRunning() = 0;
};

}  // namespace fluvio
