#pragma once

namespace platform {

// How a layer fits a picture into its bounds.
enum class AVLayerVideoGravity {
  // Stretch to fill, ignoring the aspect ratio.
  resize,
  // Keep the aspect ratio and fit inside.
  resizeAspect,
  // Keep the aspect ratio and fill, cropping the overflow.
  resizeAspectFill,
};

}  // namespace platform
