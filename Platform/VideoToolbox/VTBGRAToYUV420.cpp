#include "Platform/VideoToolbox/VTBGRAToYUV420.hpp"

#include <libyuv/convert.h>

#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

namespace platform {

bool VTBGRAToYUV420::accepts(const VTImagePlanes& source, const VTImagePlanes& destination) noexcept {
  return source.format == AV_PIX_FMT_BGRA && destination.format == AV_PIX_FMT_YUV420P && !destination.fullRange &&
         source.width == destination.width && source.height == destination.height && source.width % 2 == 0 &&
         source.height % 2 == 0 && source.width > 0 && source.height > 0;
}

void VTBGRAToYUV420::convert(const VTImagePlanes& source, const VTImagePlanes& destination) {
  // libyuv names pixels by their 32-bit value: its ARGB is BGRA in memory.
  libyuv::ARGBToI420(source.data[0], source.linesize[0], destination.data[0], destination.linesize[0],
                     destination.data[1], destination.linesize[1], destination.data[2], destination.linesize[2],
                     source.width, source.height);
}

}  // namespace platform
