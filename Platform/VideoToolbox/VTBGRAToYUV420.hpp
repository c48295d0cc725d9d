#pragma once

#include <cstdint>
#include <vector>

namespace platform {

struct VTImagePlanes;

// BGRA to video-range planar 4:2:0 of the same size, as swscale's bilinear
// path makes it (ITU-R BT.601, chroma from pixel pairs weighted 1:3:3:1 down
// the rows) to within one step, in about half its time: every screen
// picture the encoder takes goes this way. Pictures of fewer than eight rows
// are left to swscale.
class VTBGRAToYUV420 {
 public:
  static bool accepts(const VTImagePlanes& source, const VTImagePlanes& destination) noexcept;
  // Only for planes `accepts` takes.
  void convert(const VTImagePlanes& source, const VTImagePlanes& destination);

 private:
  // The blue, green and red sums of each pixel pair of four source rows.
  std::vector<std::uint16_t> pairSums_;
};

}  // namespace platform
