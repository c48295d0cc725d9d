#include "Fluvio/Sources/Codec/VTSessionConvertible.hpp"

#include "Fluvio/Sources/Codec/VTCompressionSessionAdapter.hpp"
#include "Fluvio/Sources/Codec/VTDecompressionSessionAdapter.hpp"

namespace fluvio {

platform::OSStatus VTSessionConvertible::applyOptions(const VTSessionOptionSet& options) {
  platform::VTPropertyDictionary properties;
  for (const VTSessionOption& option : options) properties.emplace(option.key.rawValue, option.value);
  return setProperties(properties);
}

std::optional<platform::CVPixelBufferAttributes> makeImageBufferAttributes(
    VTSessionMode mode, const std::shared_ptr<const platform::CMFormatDescription>& inputFormat) {
  platform::CVPixelBufferAttributes attributes;
  switch (mode) {
    case VTSessionMode::decompression:
      attributes.ioSurfaceProperties = true;
      attributes.metalCompatibility = true;
      return attributes;
    case VTSessionMode::compression:
      // The pixel format frames arrive in; without one there is nothing to ask for.
      if (!inputFormat) return std::nullopt;
      attributes.pixelFormatType = inputFormat->mediaSubType();
      return attributes;
  }
  return std::nullopt;
}

std::shared_ptr<VTSessionConvertible> makeSession(const VideoCodecSettings& settings,
                                                  const std::shared_ptr<const platform::CMFormatDescription>& inputFormat,
                                                  bool decoding) {
  if (decoding) return VTDecompressionSessionAdapter::make(inputFormat);
  return VTCompressionSessionAdapter::make(settings, inputFormat);
}

}  // namespace fluvio
