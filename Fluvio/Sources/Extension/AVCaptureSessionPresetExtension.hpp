#pragma once

#include <cstdint>
#include <optional>

#include "Platform/AVFoundation/AVCaptureSession.hpp"

namespace fluvio {

// What a capture session uses until it is told otherwise.
inline constexpr platform::AVCaptureSession::Preset defaultCapturePreset =
    platform::AVCaptureSession::Preset::hd1280x720;

// Pixel size of the presets that fix one; nothing for the others.
std::optional<std::int32_t> width(platform::AVCaptureSession::Preset preset) noexcept;
std::optional<std::int32_t> height(platform::AVCaptureSession::Preset preset) noexcept;

}  // namespace fluvio
