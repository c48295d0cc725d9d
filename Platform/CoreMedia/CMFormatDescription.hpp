#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "Platform/CoreMedia/AudioChannelLayout.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"
#include "Platform/CoreMedia/FourCharCode.hpp"
#include "Platform/CoreMedia/OSStatus.hpp"

namespace platform {

class CVPixelBuffer;

using CMMediaType = FourCharCode;
inline constexpr CMMediaType kCMMediaType_Audio = fourCC("soun");
inline constexpr CMMediaType kCMMediaType_Video = fourCC("vide");

using CMVideoCodecType = FourCharCode;
inline constexpr CMVideoCodecType kCMVideoCodecType_H264 = fourCC("avc1");
inline constexpr CMVideoCodecType kCMVideoCodecType_HEVC = fourCC("hvc1");

inline constexpr OSStatus kCMFormatDescriptionError_InvalidParameter = -12710;
inline constexpr OSStatus kCMFormatDescriptionError_AllocationFailed = -12711;

struct CMVideoDimensions {
  std::int32_t width = 0;
  std::int32_t height = 0;

  friend bool operator==(const CMVideoDimensions&, const CMVideoDimensions&) = default;
};

using CMFormatDescriptionBytes = std::vector<std::uint8_t>;
// Sample-description extension atoms: four-character atom name -> atom body.
using CMFormatDescriptionAtoms = std::map<std::string, CMFormatDescriptionBytes>;
using CMFormatDescriptionExtensionValue =
    std::variant<bool, std::int64_t, double, std::string, CMFormatDescriptionBytes, CMFormatDescriptionAtoms>;
using CMFormatDescriptionExtensions = std::map<std::string, CMFormatDescriptionExtensionValue>;

inline const std::string kCMFormatDescriptionExtension_SampleDescriptionExtensionAtoms =
    "SampleDescriptionExtensionAtoms";

// Describes the media of a sample buffer: audio (stream description, channel
// layout, magic cookie) or video (codec or pixel format, dimensions, and for
// H.264/HEVC the avcC/hvcC atom with the parameter sets it carries).
// Immutable once made; equal when every part is equal.
class CMFormatDescription {
 public:
  using Bytes = CMFormatDescriptionBytes;

  static StatusOr<CMFormatDescription> makeAudio(const AudioStreamBasicDescription& streamDescription,
                                                 std::optional<AudioChannelLayout> channelLayout = std::nullopt,
                                                 Bytes magicCookie = {},
                                                 CMFormatDescriptionExtensions extensions = {});
  // A video description as an encoder states it. For H.264 and HEVC the
  // parameter sets are read from the avcC/hvcC atom among the extensions.
  static StatusOr<CMFormatDescription> makeVideo(CMVideoCodecType codecType, CMVideoDimensions dimensions,
                                                 CMFormatDescriptionExtensions extensions = {});
  // Builds the avcC atom from an SPS and a PPS (in that order, more allowed);
  // the dimensions come from the SPS. Unit header length 1, 2 or 4.
  static StatusOr<CMFormatDescription> makeFromH264ParameterSets(std::span<const std::span<const std::uint8_t>> parameterSets,
                                                                 int nalUnitHeaderLength);
  // Builds the hvcC atom from a VPS, an SPS and a PPS (more allowed); the
  // dimensions come from the SPS.
  static StatusOr<CMFormatDescription> makeFromHEVCParameterSets(std::span<const std::span<const std::uint8_t>> parameterSets,
                                                                 int nalUnitHeaderLength,
                                                                 CMFormatDescriptionExtensions extensions = {});
  // Uncompressed video of the buffer's pixel format and size.
  static StatusOr<CMFormatDescription> makeForImageBuffer(const CVPixelBuffer& imageBuffer);

  CMMediaType mediaType() const noexcept { return mediaType_; }
  // Audio: the format id; video: the codec type or pixel format.
  FourCharCode mediaSubType() const noexcept { return mediaSubType_; }
  const CMFormatDescriptionExtensions& extensions() const noexcept { return extensions_; }
  const CMFormatDescriptionExtensionValue* extension(const std::string& key) const;

  // Audio only.
  const AudioStreamBasicDescription* audioStreamBasicDescription() const noexcept;
  const std::optional<AudioChannelLayout>& audioChannelLayout() const noexcept { return channelLayout_; }
  const Bytes& magicCookie() const noexcept { return magicCookie_; }

  // Video only.
  CMVideoDimensions dimensions() const noexcept { return dimensions_; }
  // H.264: SPS then PPS; HEVC: VPS, SPS, PPS; in the order the atom lists them.
  const std::vector<Bytes>& parameterSets() const noexcept { return parameterSets_; }
  // Bytes of each unit's length prefix in samples; 0 when not known.
  int nalUnitHeaderLength() const noexcept { return nalUnitHeaderLength_; }

  friend bool operator==(const CMFormatDescription& lhs, const CMFormatDescription& rhs);

 private:
  CMFormatDescription() = default;

  CMMediaType mediaType_ = 0;
  FourCharCode mediaSubType_ = 0;
  CMFormatDescriptionExtensions extensions_;
  std::optional<AudioStreamBasicDescription> streamDescription_;
  std::optional<AudioChannelLayout> channelLayout_;
  Bytes magicCookie_;
  CMVideoDimensions dimensions_;
  std::vector<Bytes> parameterSets_;
  int nalUnitHeaderLength_ = 0;
};

// Equal when both are absent or both present and equal.
bool equalFormatDescriptions(const std::shared_ptr<const CMFormatDescription>& lhs,
                             const std::shared_ptr<const CMFormatDescription>& rhs);

}  // namespace platform
