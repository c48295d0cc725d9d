#pragma once

namespace platform {

// Capture sessions; so far only the presets that name their output quality.
class AVCaptureSession {
 public:
  enum class Preset {
    photo,
    high,
    medium,
    low,
    cif352x288,
    vga640x480,
    iFrame960x540,
    hd1280x720,
    iFrame1280x720,
    hd1920x1080,
    hd4K3840x2160,
    inputPriority,
  };
};

}  // namespace platform
