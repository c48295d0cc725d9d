#include "Platform/CoreMedia/HEVCConfigurationAtom.hpp"

#include <array>
#include <vector>

#include "Platform/CoreMedia/RBSPBitReader.hpp"

namespace platform {
namespace {

constexpr std::uint8_t vpsType = 32;
constexpr std::uint8_t spsType = 33;
constexpr std::uint8_t ppsType = 34;

struct SequenceParameters {
  std::array<std::uint8_t, 12> generalProfileTierLevel{};
  std::uint32_t maxSubLayersMinus1 = 0;
  bool temporalIdNesting = false;
  std::uint32_t chromaFormat = 0;
  std::uint32_t bitDepthLumaMinus8 = 0;
  std::uint32_t bitDepthChromaMinus8 = 0;
  CMVideoDimensions dimensions;
};

std::optional<SequenceParameters> readSequenceParameters(std::span<const std::uint8_t> sps) {
  RBSPBitReader reader(sps);
  reader.skip(16);  // unit header
  SequenceParameters parameters;
  reader.skip(4);  // sps_video_parameter_set_id
  parameters.maxSubLayersMinus1 = reader.bits(3);
  parameters.temporalIdNesting = reader.flag();
  for (auto& byte : parameters.generalProfileTierLevel) byte = static_cast<std::uint8_t>(reader.bits(8));
  bool profilePresent[8] = {};
  bool levelPresent[8] = {};
  for (std::uint32_t layer = 0; layer < parameters.maxSubLayersMinus1; ++layer) {
    profilePresent[layer] = reader.flag();
    levelPresent[layer] = reader.flag();
  }
  if (parameters.maxSubLayersMinus1 > 0) reader.skip(2 * (8 - parameters.maxSubLayersMinus1));
  for (std::uint32_t layer = 0; layer < parameters.maxSubLayersMinus1; ++layer) {
    if (profilePresent[layer]) reader.skip(88);
    if (levelPresent[layer]) reader.skip(8);
  }
  reader.unsignedExpGolomb();  // sps_seq_parameter_set_id
  parameters.chromaFormat = reader.unsignedExpGolomb();
  if (parameters.chromaFormat == 3) reader.skip(1);  // separate_colour_plane_flag
  const std::uint32_t width = reader.unsignedExpGolomb();
  const std::uint32_t height = reader.unsignedExpGolomb();
  std::uint32_t window[4] = {0, 0, 0, 0};
  if (reader.flag()) {
    for (auto& edge : window) edge = reader.unsignedExpGolomb();
  }
  parameters.bitDepthLumaMinus8 = reader.unsignedExpGolomb();
  parameters.bitDepthChromaMinus8 = reader.unsignedExpGolomb();
  if (reader.failed() || parameters.chromaFormat > 3 || width > 16384 || height > 16384) return std::nullopt;
  const std::int64_t unitX = parameters.chromaFormat == 1 || parameters.chromaFormat == 2 ? 2 : 1;
  const std::int64_t unitY = parameters.chromaFormat == 1 ? 2 : 1;
  const std::int64_t croppedWidth = std::int64_t(width) - unitX * (std::int64_t(window[0]) + window[1]);
  const std::int64_t croppedHeight = std::int64_t(height) - unitY * (std::int64_t(window[2]) + window[3]);
  if (croppedWidth <= 0 || croppedHeight <= 0) return std::nullopt;
  parameters.dimensions = {static_cast<std::int32_t>(croppedWidth), static_cast<std::int32_t>(croppedHeight)};
  return parameters;
}

std::uint8_t unitType(std::span<const std::uint8_t> unit) { return unit.empty() ? 0xFF : (unit[0] >> 1) & 0x3F; }

}  // namespace

std::optional<VideoConfiguration> makeHEVCConfiguration(std::span<const std::span<const std::uint8_t>> parameterSets,
                                                        int nalUnitHeaderLength, CMFormatDescriptionBytes& atom) {
  if (nalUnitHeaderLength != 1 && nalUnitHeaderLength != 2 && nalUnitHeaderLength != 4) return std::nullopt;
  // One array per unit type, in the order VPS, SPS, PPS.
  std::array<std::vector<std::span<const std::uint8_t>>, 3> arrays;
  for (const auto& unit : parameterSets) {
    const std::uint8_t type = unitType(unit);
    if (unit.size() < 3 || type < vpsType || type > ppsType) return std::nullopt;
    arrays[type - vpsType].push_back(unit);
  }
  for (const auto& units : arrays) {
    if (units.empty() || units.size() > 0xFFFF) return std::nullopt;
  }
  const auto parameters = readSequenceParameters(arrays[1].front());
  if (!parameters) return std::nullopt;

  CMFormatDescriptionBytes bytes{1};
  bytes.insert(bytes.end(), parameters->generalProfileTierLevel.begin(), parameters->generalProfileTierLevel.end());
  bytes.insert(bytes.end(), {0xF0, 0x00,  // no minimum spatial segmentation
                             0xFC,        // parallelism unknown
                             static_cast<std::uint8_t>(0xFC | parameters->chromaFormat),
                             static_cast<std::uint8_t>(0xF8 | (parameters->bitDepthLumaMinus8 & 7)),
                             static_cast<std::uint8_t>(0xF8 | (parameters->bitDepthChromaMinus8 & 7)),
                             0x00, 0x00,  // average frame rate unknown
                             static_cast<std::uint8_t>(((parameters->maxSubLayersMinus1 + 1) << 3) |
                                                       (parameters->temporalIdNesting ? 0x04 : 0) |
                                                       (nalUnitHeaderLength - 1)),
                             static_cast<std::uint8_t>(arrays.size())});
  VideoConfiguration configuration{{}, nalUnitHeaderLength, parameters->dimensions};
  for (std::size_t index = 0; index < arrays.size(); ++index) {
    bytes.push_back(static_cast<std::uint8_t>(0x80 | (vpsType + index)));  // complete array
    appendUInt16(bytes, arrays[index].size());
    for (const auto& unit : arrays[index]) {
      if (!appendSizedUnit(bytes, unit)) return std::nullopt;
      configuration.parameterSets.emplace_back(unit.begin(), unit.end());
    }
  }
  atom = std::move(bytes);
  return configuration;
}

std::optional<VideoConfiguration> parseHEVCConfiguration(std::span<const std::uint8_t> atom) {
  if (atom.size() < 23 || atom[0] != 1) return std::nullopt;
  VideoConfiguration configuration;
  configuration.nalUnitHeaderLength = (atom[21] & 3) + 1;
  AtomReader reader(atom.subspan(23));
  for (int array = 0; array < atom[22]; ++array) {
    const auto type = reader.byte();
    const auto count = reader.uint16();
    if (!type || !count) return std::nullopt;
    for (int index = 0; index < *count; ++index) {
      auto unit = reader.sizedUnit();
      if (!unit) return std::nullopt;
      configuration.parameterSets.push_back(std::move(*unit));
    }
  }
  for (const auto& unit : configuration.parameterSets) {
    if (unitType(unit) != spsType) continue;
    if (const auto parameters = readSequenceParameters(unit)) configuration.dimensions = parameters->dimensions;
    break;
  }
  return configuration;
}

}  // namespace platform
