#pragma once

namespace platform {

struct VTImagePlanes;

// BGRA (or BGRX, its fourth byte ignored) to video-range 4:2:0 of the same
// size with ITU-R BT.601, the matrix and range the encoder signals, in
// libyuv's vector code and in one pass over the source: planar for the
// encoder's own picture, bi-planar for a captured screen. Luma and flat colour
// match swscale's to within one step; chroma is the mean of each 2x2 block,
// so at hard colour edges it may differ from swscale's wider filter.
class VTBGRAToYUV420 {
 public:
  static bool accepts(const VTImagePlanes& source, const VTImagePlanes& destination) noexcept;
  // Only for planes `accepts` takes.
  static void convert(const VTImagePlanes& source, const VTImagePlanes& destination);
};

// Video-range bi-planar 4:2:0 to planar 4:2:0 of the same size and range:
// the chroma is only deinterleaved, so the picture passes unchanged.
class VTNV12ToYUV420 {
 public:
  static bool accepts(const VTImagePlanes& source, const VTImagePlanes& destination) noexcept;
  static void convert(const VTImagePlanes& source, const VTImagePlanes& destination);
};

}  // namespace platform
