#include "RTMPFluvio/Sources/Codec/AVCDecoderConfigurationRecord.hpp"

#include <optional>

#include "Fluvio/Sources/Util/Mirror.hpp"
#include "Platform/CoreMedia/VideoConfiguration.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"

namespace rtmpfluvio {
namespace {

using platform::AtomReader;
using Bytes = AVCDecoderConfigurationRecord::Bytes;

// Only these profiles carry the chroma and bit depth extension.
bool hasExtension(std::uint8_t profile) { return profile == 100 || profile == 110 || profile == 122 || profile == 144; }

// `count` sets appended to `sets`; false when the bytes end first.
bool readSets(AtomReader& reader, std::size_t count, std::vector<Bytes>& sets) {
  for (std::size_t index = 0; index < count; ++index) {
    auto set = reader.sizedUnit();
    if (!set) return false;
    sets.push_back(std::move(*set));
  }
  return true;
}

bool appendSets(Bytes& bytes, const std::vector<Bytes>& sets) {
  for (const Bytes& set : sets) {
    if (!platform::appendSizedUnit(bytes, set)) return false;
  }
  return true;
}

}  // namespace

Bytes AVCDecoderConfigurationRecord::data() const {
  if (sequenceParameterSets.size() > 0x1F || pictureParameterSets.size() > 0xFF ||
      sequenceParameterSetExt.size() > 0xFF) {
    return {};
  }
  Bytes bytes{configurationVersion,
              avcProfileIndication,
              profileCompatibility,
              avcLevelIndication,
              static_cast<std::uint8_t>(0xFC | (lengthSizeMinusOneWithReserved & 0x03)),
              static_cast<std::uint8_t>(0xE0 | sequenceParameterSets.size())};
  if (!appendSets(bytes, sequenceParameterSets)) return {};
  bytes.push_back(static_cast<std::uint8_t>(pictureParameterSets.size()));
  if (!appendSets(bytes, pictureParameterSets)) return {};
  if (hasExtension(avcProfileIndication) && chromaFormatWithReserve != 0) {
    bytes.push_back(static_cast<std::uint8_t>(0xFC | (chromaFormatWithReserve & 0x03)));
    bytes.push_back(static_cast<std::uint8_t>(0xF8 | (bitDepthLumaMinus8WithReserve & 0x07)));
    bytes.push_back(static_cast<std::uint8_t>(0xF8 | (bitDepthChromaMinus8WithReserve & 0x07)));
    bytes.push_back(static_cast<std::uint8_t>(sequenceParameterSetExt.size()));
    if (!appendSets(bytes, sequenceParameterSetExt)) return {};
  }
  return bytes;
}

void AVCDecoderConfigurationRecord::setData(std::span<const std::uint8_t> bytes) {
  AtomReader reader(bytes);
  const bool complete = [&] {
    for (std::uint8_t* field : {&configurationVersion, &avcProfileIndication, &profileCompatibility,
                                &avcLevelIndication, &lengthSizeMinusOneWithReserved,
                                &numOfSequenceParameterSetsWithReserved}) {
      const auto byte = reader.byte();
      if (!byte) return false;
      *field = *byte;
    }
    if (!readSets(reader, numOfSequenceParameterSetsWithReserved & 0x1F, sequenceParameterSets)) return false;
    const auto pictureCount = reader.byte();
    if (!pictureCount) return false;
    if (!readSets(reader, *pictureCount, pictureParameterSets)) return false;
    // The extension is optional even where it belongs: no byte, no extension.
    const auto chromaFormat = hasExtension(avcProfileIndication) ? reader.byte() : std::nullopt;
    if (!chromaFormat) return true;
    const auto bitDepthLuma = reader.byte();
    const auto bitDepthChroma = reader.byte();
    const auto extensionCount = reader.byte();
    if (!bitDepthLuma || !bitDepthChroma || !extensionCount) return false;
    chromaFormatWithReserve = *chromaFormat;
    bitDepthLumaMinus8WithReserve = *bitDepthLuma;
    bitDepthChromaMinus8WithReserve = *bitDepthChroma;
    return readSets(reader, *extensionCount, sequenceParameterSetExt);
  }();
  if (!complete) TP_ERROR(logger(), "AVCDecoderConfigurationRecord cut short in ", bytes.size(), " bytes: ", debugDescription());
}

std::shared_ptr<const platform::CMFormatDescription> AVCDecoderConfigurationRecord::makeFormatDescription() const {
  if (sequenceParameterSets.empty() || pictureParameterSets.empty() || sequenceParameterSets.front().empty()) {
    return nullptr;
  }
  const std::span<const std::uint8_t> parameterSets[] = {sequenceParameterSets.front(), pictureParameterSets.front()};
  return platform::CMFormatDescription::makeFromH264ParameterSets(parameterSets,
                                                                  (lengthSizeMinusOneWithReserved & 0x03) + 1)
      .value;
}

std::string AVCDecoderConfigurationRecord::debugDescription() const {
  using fluvio::Mirror;
  return Mirror("AVCDecoderConfigurationRecord",
                {Mirror::child("configurationVersion", configurationVersion),
                 Mirror::child("avcProfileIndication", avcProfileIndication),
                 Mirror::child("profileCompatibility", profileCompatibility),
                 Mirror::child("avcLevelIndication", avcLevelIndication),
                 Mirror::child("lengthSizeMinusOneWithReserved", lengthSizeMinusOneWithReserved),
                 Mirror::child("numOfSequenceParameterSetsWithReserved", numOfSequenceParameterSetsWithReserved),
                 {"sequenceParameterSets", describeParameterSets(sequenceParameterSets)},
                 {"pictureParameterSets", describeParameterSets(pictureParameterSets)},
                 Mirror::child("chromaFormatWithReserve", chromaFormatWithReserve),
                 Mirror::child("bitDepthLumaMinus8WithReserve", bitDepthLumaMinus8WithReserve),
                 Mirror::child("bitDepthChromaMinus8WithReserve", bitDepthChromaMinus8WithReserve),
                 {"sequenceParameterSetExt", describeParameterSets(sequenceParameterSetExt)}})
      .debugDescription();
}

}  // namespace rtmpfluvio
