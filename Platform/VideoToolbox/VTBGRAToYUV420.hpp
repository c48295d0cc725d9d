#pragma once

namespace platform {

struct VTImagePlanes;

// BGRA to video-range planar 4:2:0 of the same size with ITU-R BT.601, the
// matrix and range the encoder signals, in libyuv's vector code: every screen
// picture the encoder takes goes this way. Luma and flat colour match
// swscale's to within one step; chroma is the mean of each 2x2 block, so at
// hard colour edges it may differ from swscale's wider filter.
class VTBGRAToYUV420 {
 public:
  static bool accepts(const VTImagePlanes& source, const VTImagePlanes& destination) noexcept;
  // Only for planes `accepts` takes.
  static void convert(const VTImagePlanes& source, const VTImagePlanes& destination);
};

}  // namespace platform
