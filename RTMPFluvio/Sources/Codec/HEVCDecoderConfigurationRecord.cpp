#include "RTMPFluvio/Sources/Codec/HEVCDecoderConfigurationRecord.hpp"

#include <algorithm>
#include <optional>
#include <utility>

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

// The type a unit's header names; what `unspec` arrays are grouped by.
std::uint8_t unitTypeOf(const Bytes& unit) {
  return unit.empty() ? kNALUnitTypeMask : (unit[0] >> 1) & kNALUnitTypeMask;
}

// The arrays to write for one entry of the map: one for a named type; for
// `unspec` one per unit type with no name, in order of first appearance,
// and units whose header names a type (or that are empty) under type 63.
std::vector<std::pair<std::uint8_t, std::vector<const Bytes*>>> arraysToWrite(HEVCNALUnitType type,
                                                                             const std::vector<Bytes>& units) {
  std::vector<std::pair<std::uint8_t, std::vector<const Bytes*>>> arrays;
  if (type != HEVCNALUnitType::unspec) {
    arrays.emplace_back(fluvio::rawValue(type) & kNALUnitTypeMask, std::vector<const Bytes*>{});
    for (const Bytes& unit : units) arrays.back().second.push_back(&unit);
    return arrays;
  }
  for (const Bytes& unit : units) {
    std::uint8_t unitType = unitTypeOf(unit);
    if (fluvio::fromRawValue<HEVCNALUnitType>(unitType)) unitType = kNALUnitTypeMask;
    auto group = std::find_if(arrays.begin(), arrays.end(), [&](const auto& array) { return array.first == unitType; });
    if (group == arrays.end()) group = arrays.insert(arrays.end(), {unitType, {}});
    group->second.push_back(&unit);
  }
  if (arrays.empty()) arrays.emplace_back(kNALUnitTypeMask, std::vector<const Bytes*>{});
  return arrays;
}

const Bytes* firstUnit(const std::map<HEVCNALUnitType, std::vector<Bytes>>& arrays, HEVCNALUnitType type) {
  const auto found = arrays.find(type);
  if (found == arrays.end() || found->second.empty() || found->second.front().empty()) return nullptr;
  return &found->second.front();
}

}  // namespace

Bytes HEVCDecoderConfigurationRecord::data() const {
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
  const std::size_t countAt = bytes.size();
  bytes.push_back(0);
  std::size_t arrayCount = 0;
  for (const auto& [type, units] : array) {
    const auto completeness = arrayCompleteness.find(type);
    const bool isComplete = completeness != arrayCompleteness.end() ? completeness->second : isParameterSet(type);
    for (const auto& [unitType, written] : arraysToWrite(type, units)) {
      if (++arrayCount > 0xFF || written.size() > 0xFFFF) return {};
      bytes.push_back((isComplete ? kArrayCompleteness : 0) | unitType);
      platform::appendUInt16(bytes, written.size());
      for (const Bytes* unit : written) {
        if (!platform::appendSizedUnit(bytes, *unit)) return {};
      }
    }
  }
  bytes[countAt] = static_cast<std::uint8_t>(arrayCount);
  return bytes;
}

void HEVCDecoderConfigurationRecord::setData(std::span<const std::uint8_t> bytes) {
  std::size_t position = 0;
  // Hands the next `width` bytes as one number to `store`; false when the
  // record ends first, so that the fields before a cut keep what was read.
  const auto field = [&](std::size_t width, auto&& store) {
    if (bytes.size() - position < width) return false;
    std::uint64_t value = 0;
    for (std::size_t end = position + width; position < end; ++position) value = value << 8 | bytes[position];
    store(value);
    return true;
  };
  const bool fixedPart =
      field(1, [&](std::uint64_t value) { configurationVersion = static_cast<std::uint8_t>(value); }) &&
      field(1,
            [&](std::uint64_t value) {
              generalProfileSpace = static_cast<std::uint8_t>(value >> 6);
              generalTierFlag = (value & 0x20) != 0;
              generalProfileIdc = value & 0x1F;
            }) &&
      field(4, [&](std::uint64_t value) { generalProfileCompatibilityFlags = static_cast<std::uint32_t>(value); }) &&
      field(6, [&](std::uint64_t value) { generalConstraintIndicatorFlags = value; }) &&
      field(1, [&](std::uint64_t value) { generalLevelIdc = static_cast<std::uint8_t>(value); }) &&
      field(2, [&](std::uint64_t value) { minSpatialSegmentationIdc = value & 0x0FFF; }) &&
      field(1, [&](std::uint64_t value) { parallelismType = value & 0x03; }) &&
      field(1, [&](std::uint64_t value) { chromaFormat = value & 0x03; }) &&
      field(1, [&](std::uint64_t value) { bitDepthLumaMinus8 = value & 0x07; }) &&
      field(1, [&](std::uint64_t value) { bitDepthChromaMinus8 = value & 0x07; }) &&
      field(2, [&](std::uint64_t value) { avgFrameRate = static_cast<std::uint16_t>(value); }) &&
      field(1,
            [&](std::uint64_t value) {
              constantFrameRate = static_cast<std::uint8_t>(value >> 6);
              numTemporalLayers = (value >> 3) & 0x07;
              temporalIdNested = (value >> 2) & 0x01;
              lengthSizeMinusOne = value & 0x03;
            }) &&
      field(1, [&](std::uint64_t value) { numberOfArrays = static_cast<std::uint8_t>(value); });
  if (!fixedPart || !readArrays(bytes.subspan(position))) {
    TP_ERROR(logger(), "HEVCDecoderConfigurationRecord cut short in ", bytes.size(), " bytes: ", debugDescription());
  }
}

bool HEVCDecoderConfigurationRecord::readArrays(std::span<const std::uint8_t> bytes) {
  AtomReader reader(bytes);
  for (int index = 0; index < numberOfArrays; ++index) {
    const auto typeByte = reader.byte();
    if (!typeByte) return false;
    const std::uint8_t unitType = *typeByte & kNALUnitTypeMask;
    const auto type = fluvio::fromRawValue<HEVCNALUnitType>(unitType);
    const HEVCNALUnitType key = type.value_or(HEVCNALUnitType::unspec);
    arrayCompleteness[key] = (*typeByte & kArrayCompleteness) != 0;
    // Arrays of types with no name share `unspec`; each unit tells its own
    // type, so a later array of one of them replaces only that type's units.
    auto& units = array[key];
    if (type) {
      units.clear();
    } else {
      std::erase_if(units, [&](const Bytes& unit) { return unitTypeOf(unit) == unitType; });
    }
    const auto count = reader.uint16();
    if (!count) return false;
    for (int unit = 0; unit < *count; ++unit) {
      auto unitBytes = reader.sizedUnit();
      if (!unitBytes) return false;
      units.push_back(std::move(*unitBytes));
    }
  }
  return true;
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
