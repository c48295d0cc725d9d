#include "RTMPFluvio/Sources/Codec/HEVCDecoderConfigurationRecord.hpp"

#include <optional>

#include "Fluvio/Sources/Util/Mirror.hpp"
#include "Platform/CoreMedia/VideoConfiguration.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"

namespace rtmpfluvio {
namespace {

using fluvio::HEVCNALUnitType;
using platform::AtomReader;
using Bytes = HEVCDecoderConfigurationRecord::Bytes;

constexpr std::uint8_t kArrayCompleteness = 0x80;
constexpr std::uint8_t kNALUnitTypeMask = 0x3F;

// The bytes of the fixed part, from configurationVersion to numberOfArrays.
constexpr std::size_t kFixedSize = 23;

bool isParameterSet(HEVCNALUnitType type) {
  return type == HEVCNALUnitType::vps || type == HEVCNALUnitType::sps || type == HEVCNALUnitType::pps;
}

// The unit type of an array. Under `unspec` it is that of the first unit
// when no named type has it, so that the array reads back under `unspec`.
std::uint8_t arrayUnitType(HEVCNALUnitType type, const std::vector<Bytes>& units) {
  if (type != HEVCNALUnitType::unspec) return fluvio::rawValue(type) & kNALUnitTypeMask;
  if (!units.empty() && !units.front().empty()) {
    const std::uint8_t unitType = (units.front()[0] >> 1) & kNALUnitTypeMask;
    if (!fluvio::fromRawValue<HEVCNALUnitType>(unitType)) return unitType;
  }
  return kNALUnitTypeMask;
}

const Bytes* firstUnit(const std::map<HEVCNALUnitType, std::vector<Bytes>>& arrays, HEVCNALUnitType type) {
  const auto found = arrays.find(type);
  if (found == arrays.end() || found->second.empty() || found->second.front().empty()) return nullptr;
  return &found->second.front();
}

}  // namespace

Bytes HEVCDecoderConfigurationRecord::data() const {
  if (array.size() > 0xFF) return {};
  Bytes bytes;
  bytes.reserve(kFixedSize);
  bytes.push_back(configurationVersion);
  bytes.push_back(static_cast<std::uint8_t>((generalProfileSpace & 0x03) << 6 | (generalTierFlag ? 0x20 : 0) |
                                            (generalProfileIdc & 0x1F)));
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(generalProfileCompatibilityFlags >> shift));
  for (int shift = 40; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(generalConstraintIndicatorFlags >> shift));
  bytes.push_back(generalLevelIdc);
  platform::appendUInt16(bytes, 0xF000 | (minSpatialSegmentationIdc & 0x0FFF));
  bytes.push_back(static_cast<std::uint8_t>(0xFC | (parallelismType & 0x03)));
  bytes.push_back(static_cast<std::uint8_t>(0xFC | (chromaFormat & 0x03)));
  bytes.push_back(static_cast<std::uint8_t>(0xF8 | (bitDepthLumaMinus8 & 0x07)));
  bytes.push_back(static_cast<std::uint8_t>(0xF8 | (bitDepthChromaMinus8 & 0x07)));
  platform::appendUInt16(bytes, avgFrameRate);
  bytes.push_back(static_cast<std::uint8_t>((constantFrameRate & 0x03) << 6 | (numTemporalLayers & 0x07) << 3 |
                                            (temporalIdNested & 0x01) << 2 | (lengthSizeMinusOne & 0x03)));
  bytes.push_back(static_cast<std::uint8_t>(array.size()));
  for (const auto& [type, units] : array) {
    if (units.size() > 0xFFFF) return {};
    const auto completeness = arrayCompleteness.find(type);
    const bool isComplete = completeness != arrayCompleteness.end() ? completeness->second : isParameterSet(type);
    bytes.push_back((isComplete ? kArrayCompleteness : 0) | arrayUnitType(type, units));
    platform::appendUInt16(bytes, units.size());
    for (const Bytes& unit : units) {
      if (!platform::appendSizedUnit(bytes, unit)) return {};
    }
  }
  return bytes;
}

void HEVCDecoderConfigurationRecord::setData(std::span<const std::uint8_t> bytes) {
  const bool complete = [&] {
    // The fixed part is read whole or not at all.
    if (bytes.size() < kFixedSize) return false;
    const auto number = [&](std::size_t offset, std::size_t width) {
      std::uint64_t value = 0;
      for (std::size_t index = 0; index < width; ++index) value = value << 8 | bytes[offset + index];
      return value;
    };
    configurationVersion = bytes[0];
    generalProfileSpace = bytes[1] >> 6;
    generalTierFlag = (bytes[1] & 0x20) != 0;
    generalProfileIdc = bytes[1] & 0x1F;
    generalProfileCompatibilityFlags = static_cast<std::uint32_t>(number(2, 4));
    generalConstraintIndicatorFlags = number(6, 6);
    generalLevelIdc = bytes[12];
    minSpatialSegmentationIdc = static_cast<std::uint16_t>(number(13, 2) & 0x0FFF);
    parallelismType = bytes[15] & 0x03;
    chromaFormat = bytes[16] & 0x03;
    bitDepthLumaMinus8 = bytes[17] & 0x07;
    bitDepthChromaMinus8 = bytes[18] & 0x07;
    avgFrameRate = static_cast<std::uint16_t>(number(19, 2));
    constantFrameRate = bytes[21] >> 6;
    numTemporalLayers = (bytes[21] >> 3) & 0x07;
    temporalIdNested = (bytes[21] >> 2) & 0x01;
    lengthSizeMinusOne = bytes[21] & 0x03;
    numberOfArrays = bytes[22];

    AtomReader reader(bytes.subspan(kFixedSize));
    for (int index = 0; index < numberOfArrays; ++index) {
      const auto typeByte = reader.byte();
      if (!typeByte) return false;
      const auto type = fluvio::fromRawValue<HEVCNALUnitType>(*typeByte & kNALUnitTypeMask);
      const HEVCNALUnitType key = type.value_or(HEVCNALUnitType::unspec);
      arrayCompleteness[key] = (*typeByte & kArrayCompleteness) != 0;
      auto& units = array[key];
      units.clear();
      const auto count = reader.uint16();
      if (!count) return false;
      for (int unit = 0; unit < *count; ++unit) {
        auto unitBytes = reader.sizedUnit();
        if (!unitBytes) return false;
        units.push_back(std::move(*unitBytes));
      }
    }
    return true;
  }();
  if (!complete) {
    TP_ERROR(logger(), "HEVCDecoderConfigurationRecord cut short in ", bytes.size(), " bytes: ", debugDescription());
  }
}

std::shared_ptr<const platform::CMFormatDescription> HEVCDecoderConfigurationRecord::makeFormatDescription() const {
  const Bytes* vps = firstUnit(array, HEVCNALUnitType::vps);
  const Bytes* sps = firstUnit(array, HEVCNALUnitType::sps);
  const Bytes* pps = firstUnit(array, HEVCNALUnitType::pps);
  if (!vps || !sps || !pps) return nullptr;
  const std::span<const std::uint8_t> parameterSets[] = {*vps, *sps, *pps};
  return platform::CMFormatDescription::makeFromHEVCParameterSets(parameterSets, lengthSizeMinusOne + 1).value;
}

std::string HEVCDecoderConfigurationRecord::debugDescription() const {
  using fluvio::Mirror;
  std::string arrays = "[";
  for (const auto& [type, units] : array) {
    if (arrays.size() > 1) arrays += ", ";
    arrays += std::to_string(fluvio::rawValue(type)) + ": " + describeParameterSets(units);
  }
  arrays += "]";
  return Mirror("HEVCDecoderConfigurationRecord",
                {Mirror::child("configurationVersion", configurationVersion),
                 Mirror::child("generalProfileSpace", generalProfileSpace),
                 Mirror::child("generalTierFlag", generalTierFlag),
                 Mirror::child("generalProfileIdc", generalProfileIdc),
                 Mirror::child("generalProfileCompatibilityFlags", generalProfileCompatibilityFlags),
                 Mirror::child("generalConstraintIndicatorFlags", generalConstraintIndicatorFlags),
                 Mirror::child("generalLevelIdc", generalLevelIdc),
                 Mirror::child("minSpatialSegmentationIdc", minSpatialSegmentationIdc),
                 Mirror::child("parallelismType", parallelismType),
                 Mirror::child("chromaFormat", chromaFormat),
                 Mirror::child("bitDepthLumaMinus8", bitDepthLumaMinus8),
                 Mirror::child("bitDepthChromaMinus8", bitDepthChromaMinus8),
                 Mirror::child("avgFrameRate", avgFrameRate),
                 Mirror::child("constantFrameRate", constantFrameRate),
                 Mirror::child("numTemporalLayers", numTemporalLayers),
                 Mirror::child("temporalIdNested", temporalIdNested),
                 Mirror::child("lengthSizeMinusOne", lengthSizeMinusOne),
                 Mirror::child("numberOfArrays", numberOfArrays),
                 {"array", arrays}})
      .debugDescription();
}

}  // namespace rtmpfluvio
