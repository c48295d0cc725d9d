#include "Platform/CoreMedia/CMFormatDescription.hpp"

#include <cmath>

#include "Platform/CoreMedia/AVCConfigurationAtom.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"
#include "Platform/CoreMedia/HEVCConfigurationAtom.hpp"

namespace platform {
namespace {

bool isValidLinearPCM(const AudioStreamBasicDescription& description) {
  const std::uint32_t channelsPerFrame = description.isNonInterleaved() ? 1 : description.mChannelsPerFrame;
  return description.mChannelsPerFrame > 0 && description.mBitsPerChannel > 0 && description.mFramesPerPacket == 1 &&
         description.mBytesPerPacket == description.mBytesPerFrame &&
         std::uint64_t(description.mBytesPerFrame) * 8 >= std::uint64_t(description.mBitsPerChannel) * channelsPerFrame;
}

bool layoutFitsChannels(const AudioChannelLayout& layout, std::uint32_t channels) {
  const std::uint32_t tagChannels = AudioChannelLayoutTag_GetNumberOfChannels(layout.mChannelLayoutTag);
  return tagChannels == 0 || channels == 0 || tagChannels == channels;
}

const CMFormatDescriptionAtoms* atomsOf(const CMFormatDescriptionExtensions& extensions) {
  const auto found = extensions.find(kCMFormatDescriptionExtension_SampleDescriptionExtensionAtoms);
  if (found == extensions.end()) return nullptr;
  return std::get_if<CMFormatDescriptionAtoms>(&found->second);
}

using ConfigurationMaker = std::optional<VideoConfiguration> (*)(std::span<const std::span<const std::uint8_t>>, int,
                                                                 CMFormatDescriptionBytes&);

StatusOr<CMFormatDescription> makeFromParameterSets(CMVideoCodecType codecType, const char* atomName,
                                                    ConfigurationMaker makeConfiguration,
                                                    std::span<const std::span<const std::uint8_t>> parameterSets,
                                                    int nalUnitHeaderLength, CMFormatDescriptionExtensions extensions) {
  CMFormatDescriptionBytes atom;
  const auto configuration = makeConfiguration(parameterSets, nalUnitHeaderLength, atom);
  if (!configuration) return {kCMFormatDescriptionError_InvalidParameter, nullptr};
  auto& atoms = extensions[kCMFormatDescriptionExtension_SampleDescriptionExtensionAtoms];
  if (!std::holds_alternative<CMFormatDescriptionAtoms>(atoms)) atoms = CMFormatDescriptionAtoms{};
  std::get<CMFormatDescriptionAtoms>(atoms)[atomName] = std::move(atom);
  return CMFormatDescription::makeVideo(codecType, configuration->dimensions, std::move(extensions));
}

}  // namespace

StatusOr<CMFormatDescription> CMFormatDescription::makeAudio(const AudioStreamBasicDescription& streamDescription,
                                                             std::optional<AudioChannelLayout> channelLayout,
                                                             Bytes magicCookie, CMFormatDescriptionExtensions extensions) {
  if (!std::isfinite(streamDescription.mSampleRate) || streamDescription.mSampleRate <= 0 ||
      streamDescription.mFormatID == 0 ||
      (streamDescription.mFormatID == kAudioFormatLinearPCM && !isValidLinearPCM(streamDescription)) ||
      (channelLayout && !layoutFitsChannels(*channelLayout, streamDescription.mChannelsPerFrame))) {
    return {kCMFormatDescriptionError_InvalidParameter, nullptr};
  }
  std::shared_ptr<CMFormatDescription> description(new CMFormatDescription());
  description->mediaType_ = kCMMediaType_Audio;
  description->mediaSubType_ = streamDescription.mFormatID;
  description->streamDescription_ = streamDescription;
  description->channelLayout_ = channelLayout;
  description->magicCookie_ = std::move(magicCookie);
  description->extensions_ = std::move(extensions);
  return {noErr, std::move(description)};
}

StatusOr<CMFormatDescription> CMFormatDescription::makeVideo(CMVideoCodecType codecType, CMVideoDimensions dimensions,
                                                             CMFormatDescriptionExtensions extensions) {
  if (codecType == 0 || dimensions.width <= 0 || dimensions.height <= 0) {
    return {kCMFormatDescriptionError_InvalidParameter, nullptr};
  }
  std::shared_ptr<CMFormatDescription> description(new CMFormatDescription());
  if (const CMFormatDescriptionAtoms* atoms = atomsOf(extensions)) {
    std::optional<VideoConfiguration> configuration;
    if (const auto avcC = atoms->find("avcC"); codecType == kCMVideoCodecType_H264 && avcC != atoms->end()) {
      configuration = parseAVCConfiguration(avcC->second);
      if (!configuration) return {kCMFormatDescriptionError_InvalidParameter, nullptr};
    } else if (const auto hvcC = atoms->find("hvcC"); codecType == kCMVideoCodecType_HEVC && hvcC != atoms->end()) {
      configuration = parseHEVCConfiguration(hvcC->second);
      if (!configuration) return {kCMFormatDescriptionError_InvalidParameter, nullptr};
    }
    if (configuration) {
      description->parameterSets_ = std::move(configuration->parameterSets);
      description->nalUnitHeaderLength_ = configuration->nalUnitHeaderLength;
    }
  }
  description->mediaType_ = kCMMediaType_Video;
  description->mediaSubType_ = codecType;
  description->dimensions_ = dimensions;
  description->extensions_ = std::move(extensions);
  return {noErr, std::move(description)};
}

StatusOr<CMFormatDescription> CMFormatDescription::makeFromH264ParameterSets(
    std::span<const std::span<const std::uint8_t>> parameterSets, int nalUnitHeaderLength) {
  return makeFromParameterSets(kCMVideoCodecType_H264, "avcC", makeAVCConfiguration, parameterSets,
                               nalUnitHeaderLength, {});
}

StatusOr<CMFormatDescription> CMFormatDescription::makeFromHEVCParameterSets(
    std::span<const std::span<const std::uint8_t>> parameterSets, int nalUnitHeaderLength,
    CMFormatDescriptionExtensions extensions) {
  return makeFromParameterSets(kCMVideoCodecType_HEVC, "hvcC", makeHEVCConfiguration, parameterSets,
                               nalUnitHeaderLength, std::move(extensions));
}

StatusOr<CMFormatDescription> CMFormatDescription::makeForImageBuffer(const CVPixelBuffer& imageBuffer) {
  return makeVideo(imageBuffer.pixelFormatType(), {static_cast<std::int32_t>(imageBuffer.width()),
                                                   static_cast<std::int32_t>(imageBuffer.height())});
}

const CMFormatDescriptionExtensionValue* CMFormatDescription::extension(const std::string& key) const {
  const auto found = extensions_.find(key);
  return found == extensions_.end() ? nullptr : &found->second;
}

const AudioStreamBasicDescription* CMFormatDescription::audioStreamBasicDescription() const noexcept {
  return streamDescription_ ? &*streamDescription_ : nullptr;
}

bool operator==(const CMFormatDescription& lhs, const CMFormatDescription& rhs) {
  return lhs.mediaType_ == rhs.mediaType_ && lhs.mediaSubType_ == rhs.mediaSubType_ &&
         lhs.streamDescription_ == rhs.streamDescription_ && lhs.channelLayout_ == rhs.channelLayout_ &&
         lhs.magicCookie_ == rhs.magicCookie_ && lhs.dimensions_ == rhs.dimensions_ &&
         lhs.extensions_ == rhs.extensions_;
}

bool equalFormatDescriptions(const std::shared_ptr<const CMFormatDescription>& lhs,
                             const std::shared_ptr<const CMFormatDescription>& rhs) {
  if (!lhs || !rhs) return !lhs && !rhs;
  return lhs == rhs || *lhs == *rhs;
}

}  // namespace platform
