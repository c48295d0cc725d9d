#include "RTMPFluvio/Sources/Codec/ConfigurationBox.hpp"

#include <variant>

namespace rtmpfluvio {

std::optional<std::span<const std::uint8_t>> configurationBox(const platform::CMFormatDescription& formatDescription) {
  const char* key = nullptr;
  if (formatDescription.mediaSubType() == platform::kCMVideoCodecType_H264) {
    key = "avcC";
  } else if (formatDescription.mediaSubType() == platform::kCMVideoCodecType_HEVC) {
    key = "hvcC";
  } else {
    return std::nullopt;
  }
  const auto* extension =
      formatDescription.extension(platform::kCMFormatDescriptionExtension_SampleDescriptionExtensionAtoms);
  const auto* atoms = extension ? std::get_if<platform::CMFormatDescriptionAtoms>(extension) : nullptr;
  if (!atoms) return std::nullopt;
  const auto atom = atoms->find(key);
  if (atom == atoms->end()) return std::nullopt;
  return std::span<const std::uint8_t>(atom->second);
}

}  // namespace rtmpfluvio
