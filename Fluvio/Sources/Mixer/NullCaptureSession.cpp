#include "Fluvio/Sources/Mixer/NullCaptureSession.hpp"

namespace fluvio {

platform::AsyncStream<bool> NullCaptureSession::isInturreped() {
  std::lock_guard lock(mutex_);
  return isInturreped_.wrappedValue();
}

platform::AsyncStream<platform::AVError> NullCaptureSession::runtimeError() {
  std::lock_guard lock(mutex_);
  return runtimeError_.wrappedValue();
}

bool NullCaptureSession::isRunning() const {
  std::lock_guard lock(mutex_);
  return isRunning_;
}

void NullCaptureSession::startRunning() {
  std::lock_guard lock(mutex_);
  isRunning_ = true;
}

void NullCaptureSession::stopRunning() {
  std::lock_guard lock(mutex_);
  if (!isRunning_) return;
  runtimeError_.finish();
  isRunning_ = false;
}

}  // namespace fluvio
