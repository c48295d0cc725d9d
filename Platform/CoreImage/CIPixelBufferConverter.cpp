#include "Platform/CoreImage/CIPixelBufferConverter.hpp"

extern "C" {
#include <libswscale/swscale.h>
}

namespace platform {

namespace {

AVPixelFormat avFormat(OSType pixelFormatType) {
  switch (pixelFormatType) {
    case kCVPixelFormatType_32ARGB: return AV_PIX_FMT_ARGB;
    case kCVPixelFormatType_32BGRA: return AV_PIX_FMT_BGRA;
    case kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange:
    case kCVPixelFormatType_420YpCbCr8BiPlanarFullRange: return AV_PIX_FMT_NV12;
    case kCVPixelFormatType_420YpCbCr8Planar: return AV_PIX_FMT_YUV420P;
    case kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange: return AV_PIX_FMT_P010LE;
    default: return AV_PIX_FMT_NONE;
  }
}

bool isFullRange(OSType pixelFormatType) {
  return pixelFormatType == kCVPixelFormatType_420YpCbCr8BiPlanarFullRange;
}

struct Planes {
  const std::uint8_t* data[4] = {};
  int strides[4] = {};
};

Planes planesOf(const CVPixelBuffer& buffer) {
  Planes planes;
  if (!buffer.isPlanar()) {
    planes.data[0] = buffer.baseAddress();
    planes.strides[0] = static_cast<int>(buffer.bytesPerRow());
    return planes;
  }
  for (std::size_t index = 0; index < buffer.planeCount() && index < 4; ++index) {
    planes.data[index] = buffer.baseAddressOfPlane(index);
    planes.strides[index] = static_cast<int>(buffer.bytesPerRowOfPlane(index));
  }
  return planes;
}

}  // namespace

CIPixelBufferConverter::~CIPixelBufferConverter() { sws_freeContext(scaler_); }

bool CIPixelBufferConverter::isSupported(OSType pixelFormatType) noexcept {
  return avFormat(pixelFormatType) != AV_PIX_FMT_NONE;
}

bool CIPixelBufferConverter::convert(const CVPixelBuffer& source, std::uint8_t* destination,
                                     std::size_t destinationRowBytes, std::size_t width, std::size_t height,
                                     Layout layout) {
  const AVPixelFormat sourceFormat = avFormat(source.pixelFormatType());
  if (sourceFormat == AV_PIX_FMT_NONE || width == 0 || height == 0) return false;
  const AVPixelFormat destinationFormat = layout == Layout::argb ? AV_PIX_FMT_ARGB : AV_PIX_FMT_RGBA;
  scaler_ = sws_getCachedContext(scaler_, static_cast<int>(source.width()), static_cast<int>(source.height()),
                                 sourceFormat, static_cast<int>(width), static_cast<int>(height), destinationFormat,
                                 SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
  if (!scaler_) return false;
  if (sourceFormat != AV_PIX_FMT_ARGB && sourceFormat != AV_PIX_FMT_BGRA) {
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(scaler_, coefficients, isFullRange(source.pixelFormatType()) ? 1 : 0, coefficients, 1, 0,
                             1 << 16, 1 << 16);
  }
  const Planes planes = planesOf(source);
  std::uint8_t* out[4] = {destination, nullptr, nullptr, nullptr};
  const int outStrides[4] = {static_cast<int>(destinationRowBytes), 0, 0, 0};
  return sws_scale(scaler_, planes.data, planes.strides, 0, static_cast<int>(source.height()), out, outStrides) > 0;
}

bool CIPixelBufferConverter::convert(const std::uint8_t* argb, std::size_t rowBytes, CVPixelBuffer& destination) {
  const AVPixelFormat destinationFormat = avFormat(destination.pixelFormatType());
  if (destinationFormat == AV_PIX_FMT_NONE) return false;
  const int width = static_cast<int>(destination.width());
  const int height = static_cast<int>(destination.height());
  scaler_ = sws_getCachedContext(scaler_, width, height, AV_PIX_FMT_ARGB, width, height, destinationFormat,
                                 SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
  if (!scaler_) return false;
  if (destinationFormat != AV_PIX_FMT_ARGB && destinationFormat != AV_PIX_FMT_BGRA) {
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(scaler_, coefficients, 1, coefficients, isFullRange(destination.pixelFormatType()) ? 1 : 0,
                             0, 1 << 16, 1 << 16);
  }
  const Planes planes = planesOf(destination);
  std::uint8_t* out[4];
  for (int index = 0; index < 4; ++index) out[index] = const_cast<std::uint8_t*>(planes.data[index]);
  const std::uint8_t* in[4] = {argb, nullptr, nullptr, nullptr};
  const int inStrides[4] = {static_cast<int>(rowBytes), 0, 0, 0};
  return sws_scale(scaler_, in, inStrides, 0, height, out, planes.strides) > 0;
}

}  // namespace platform
