#pragma once

#include <cstdint>
#include <memory>

#include "Platform/AVFoundation/AVCaptureDevice.hpp"

namespace fluvio {

// The device's format to capture `width` x `height` at `frameRate`: the first
// one at least that large in both dimensions, else the last one smaller in
// both. With `isMultiCamSupported` only formats that can capture alongside
// other cameras count. Nothing when no format fits either way.
std::shared_ptr<platform::AVCaptureDevice::Format> findVideoFormat(const platform::AVCaptureDevice& device,
                                                                   std::int32_t width, std::int32_t height,
                                                                   double frameRate, bool isMultiCamSupported);

// True when a variable range of the format contains the rate, or a fixed
// rate lies within 0.01 frames per second of it.
bool isFrameRateSupported(const platform::AVCaptureDevice::Format& format, double frameRate);

}  // namespace fluvio
