#include "Platform/VideoToolbox/VTBGRAToYUV420.hpp"

#include <libyuv/convert.h>
#include <libyuv/convert_from_argb.h>

#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

namespace platform {
namespace {

bool sameSize(const VTImagePlanes& source, const VTImagePlanes& destination) noexcept {
  return source.width == destination.width && source.height == destination.height && source.width > 0 &&
         source.height > 0;
}

}  // namespace

bool VTBGRAToYUV420::accepts(const VTImagePlanes& source, const VTImagePlanes& destination) noexcept {
  if (source.format != AV_PIX_FMT_BGRA && source.format != AV_PIX_FMT_BGR0) return false;
  if (destination.fullRange || !sameSize(source, destination)) return false;
  // The bi-planar destination covers an odd last row or column with its own chroma sample.
  if (destination.format == AV_PIX_FMT_NV12) return true;
  return destination.format == AV_PIX_FMT_YUV420P && source.width % 2 == 0 && source.height % 2 == 0;
}

void VTBGRAToYUV420::convert(const VTImagePlanes& source, const VTImagePlanes& destination) {
  // libyuv names pixels by their 32-bit value: its ARGB is BGRA in memory.
  if (destination.format == AV_PIX_FMT_NV12) {
    libyuv::ARGBToNV12(source.data[0], source.linesize[0], destination.data[0], destination.linesize[0],
                       destination.data[1], destination.linesize[1], source.width, source.height);
    return;
  }
  libyuv::ARGBToI420(source.data[0], source.linesize[0], destination.data[0], destination.linesize[0],
                     destination.data[1], destination.linesize[1], destination.data[2], destination.linesize[2],
                     source.width, source.height);
}

bool VTNV12ToYUV420::accepts(const VTImagePlanes& source, const VTImagePlanes& destination) noexcept {
  return source.format == AV_PIX_FMT_NV12 && destination.format == AV_PIX_FMT_YUV420P &&
         source.fullRange == destination.fullRange && sameSize(source, destination);
}

void VTNV12ToYUV420::convert(const VTImagePlanes& source, const VTImagePlanes& destination) {
  libyuv::NV12ToI420(source.data[0], source.linesize[0], source.data[1], source.linesize[1], destination.data[0],
                     destination.linesize[0], destination.data[1], destination.linesize[1], destination.data[2],
                     destination.linesize[2], source.width, source.height);
}

}  // namespace platform
