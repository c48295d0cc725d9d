#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "Fluvio/Sources/Mixer/CaptureSessionConvertible.hpp"
#include "Platform/AVFoundation/AVError.hpp"

namespace fluvio {

// The device units of a capture unit, one per track, and how they go on and
// off its session.
template <class Unit>
class CaptureDevices {
 public:
  explicit CaptureDevices(std::shared_ptr<CaptureSessionConvertible> session) : session_(std::move(session)) {}

  const std::map<std::uint8_t, std::shared_ptr<Unit>>& units() const noexcept { return units_; }
  bool isSuspended() const noexcept { return isSuspended_; }

  void detach(std::uint8_t track) {
    if (auto it = units_.find(track); it != units_.end()) {
      session_->detach(it->second.get());
      units_.erase(it);
    }
  }

  // Runs the configuration (its errors are dropped), then attaches the unit;
  // throws AVError::invalidArgument when the session refuses it.
  void attach(std::shared_ptr<Unit> unit, const std::function<void(Unit&)>& configuration) {
    if (configuration) {
      try {
        configuration(*unit);
      } catch (...) {
        // The unit is attached as it is.
      }
    }
    if (!session_->attach(unit.get())) {
      session_->detach(unit.get());
      throw platform::AVError(platform::AVError::invalidArgument, unit->device());
    }
    units_[unit->track()] = std::move(unit);
  }

  void suspend() {
    if (isSuspended_) return;
    for (const auto& [track, unit] : units_) session_->detach(unit.get());
    isSuspended_ = true;
  }

  void resume() {
    if (!isSuspended_) return;
    for (const auto& [track, unit] : units_) session_->attach(unit.get());
    isSuspended_ = false;
  }

 private:
  std::shared_ptr<CaptureSessionConvertible> session_;
  std::map<std::uint8_t, std::shared_ptr<Unit>> units_;
  bool isSuspended_ = false;
};

}  // namespace fluvio
