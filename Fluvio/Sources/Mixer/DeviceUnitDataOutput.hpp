#pragma once

#include <cstdint>
#include <functional>

#include "Platform/AVFoundation/AVCaptureOutput.hpp"

namespace fluvio {

// The data output delegate of a device unit: hands each captured buffer,
// with the unit's track, to its capture unit's sink.
class DeviceUnitDataOutput final : public platform::AVCaptureDataOutputSampleBufferDelegate {
 public:
  using Sink = std::function<void(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track)>;

  DeviceUnitDataOutput(std::uint8_t track, Sink sink) : track_(track), sink_(std::move(sink)) {}

  void captureOutput(platform::AVCaptureOutput&, const platform::CMSampleBuffer& sampleBuffer,
                     platform::AVCaptureConnection&) override {
    sink_(sampleBuffer, track_);
  }

 private:
  std::uint8_t track_;
  Sink sink_;
};

}  // namespace fluvio
