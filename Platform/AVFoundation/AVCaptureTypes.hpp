#pragma once

// AVMediaType (audio or video) comes with the writer's output settings.
#include "Platform/AVFoundation/AVOutputSettings.hpp"

namespace platform {

enum class AVCaptureDevicePosition : int { unspecified = 0, back = 1, front = 2 };

enum class AVCaptureDeviceType { builtInWideAngleCamera, external, microphone };

enum class AVCaptureTorchMode : int { off = 0, on = 1, automatic = 2 };

enum class AVCaptureVideoStabilizationMode : int { off = 0, standard = 1, cinematic = 2, automatic = -1 };

}  // namespace platform
