#include "Platform/CoreImage/vImageConverter.hpp"

namespace platform {

std::unique_ptr<vImageConverter> vImageConverter::make(const vImage_CGImageFormat& sourceFormat,
                                                       const vImageCVImageFormat& destinationFormat) {
  if (sourceFormat.bitsPerComponent != 8 || sourceFormat.bitsPerPixel != 32 ||
      !CIPixelBufferConverter::isSupported(destinationFormat.pixelFormatType)) {
    throw Error();
  }
  return std::unique_ptr<vImageConverter>(new vImageConverter(destinationFormat));
}

bool vImageConverter::convert(const vImage_Buffer& source, CVPixelBuffer& destination) {
  if (destination.pixelFormatType() != destination_.pixelFormatType || source.width != destination.width() ||
      source.height != destination.height() || !source.data) {
    return false;
  }
  return converter_.convert(source.row(0), source.rowBytes, destination);
}

}  // namespace platform
