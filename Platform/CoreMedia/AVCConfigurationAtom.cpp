#include "Platform/CoreMedia/AVCConfigurationAtom.hpp"

#include <vector>

#include "Platform/CoreMedia/RBSPBitReader.hpp"

namespace platform {
namespace {

constexpr std::uint8_t spsType = 7;
constexpr std::uint8_t ppsType = 8;

struct SequenceParameters {
  std::uint8_t profile = 0;
  std::uint32_t chromaFormat = 1;
  std::uint32_t bitDepthLumaMinus8 = 0;
  std::uint32_t bitDepthChromaMinus8 = 0;
  CMVideoDimensions dimensions;
};

bool hasChromaFields(std::uint8_t profile) {
  switch (profile) {
    case 100: case 110: case 122: case 244: case 44: case 83: case 86: case 118: case 128: case 138: case 139:
    case 134: case 135:
      return true;
    default:
      return false;
  }
}

// A delta outside -128...127 marks a malformed set.
bool skipScalingList(RBSPBitReader& reader, int size) {
  int last = 8;
  int next = 8;
  for (int index = 0; index < size && !reader.failed(); ++index) {
    if (next != 0) {
      const std::int32_t delta = reader.signedExpGolomb();
      if (delta < -128 || delta > 127) return false;
      next = (last + delta + 256) % 256;
    }
    last = next == 0 ? last : next;
  }
  return true;
}

std::optional<SequenceParameters> readSequenceParameters(std::span<const std::uint8_t> sps) {
  RBSPBitReader reader(sps);
  reader.skip(8);  // unit header
  SequenceParameters parameters;
  parameters.profile = static_cast<std::uint8_t>(reader.bits(8));
  reader.skip(16);  // constraint flags, level
  reader.unsignedExpGolomb();  // seq_parameter_set_id
  bool separateColourPlanes = false;
  if (hasChromaFields(parameters.profile)) {
    parameters.chromaFormat = reader.unsignedExpGolomb();
    if (parameters.chromaFormat == 3) separateColourPlanes = reader.flag();
    parameters.bitDepthLumaMinus8 = reader.unsignedExpGolomb();
    parameters.bitDepthChromaMinus8 = reader.unsignedExpGolomb();
    reader.skip(1);  // qpprime_y_zero_transform_bypass_flag
    if (reader.flag()) {
      const int lists = parameters.chromaFormat == 3 ? 12 : 8;
      for (int list = 0; list < lists; ++list) {
        if (reader.flag() && !skipScalingList(reader, list < 6 ? 16 : 64)) return std::nullopt;
      }
    }
  }
  reader.unsignedExpGolomb();  // log2_max_frame_num_minus4
  const std::uint32_t pictureOrderCountType = reader.unsignedExpGolomb();
  if (pictureOrderCountType == 0) {
    reader.unsignedExpGolomb();
  } else if (pictureOrderCountType == 1) {
    reader.skip(1);
    reader.signedExpGolomb();
    reader.signedExpGolomb();
    const std::uint32_t cycle = reader.unsignedExpGolomb();
    if (cycle > 255) return std::nullopt;
    for (std::uint32_t index = 0; index < cycle; ++index) reader.signedExpGolomb();
  }
  reader.unsignedExpGolomb();  // max_num_ref_frames
  reader.skip(1);
  const std::uint32_t widthInMacroblocks = reader.unsignedExpGolomb() + 1;
  const std::uint32_t heightInMapUnits = reader.unsignedExpGolomb() + 1;
  const bool frameMacroblocksOnly = reader.flag();
  if (!frameMacroblocksOnly) reader.skip(1);
  reader.skip(1);  // direct_8x8_inference_flag
  std::uint32_t crop[4] = {0, 0, 0, 0};
  if (reader.flag()) {
    for (auto& edge : crop) edge = reader.unsignedExpGolomb();
  }
  if (reader.failed() || parameters.chromaFormat > 3 || widthInMacroblocks > 1024 || heightInMapUnits > 1024) {
    return std::nullopt;
  }
  const bool monochrome = parameters.chromaFormat == 0 || separateColourPlanes;
  const std::int64_t cropUnitX = monochrome || parameters.chromaFormat == 3 ? 1 : 2;
  const std::int64_t cropUnitY = (monochrome || parameters.chromaFormat != 1 ? 1 : 2) * (frameMacroblocksOnly ? 1 : 2);
  const std::int64_t width = std::int64_t(widthInMacroblocks) * 16 - cropUnitX * (std::int64_t(crop[0]) + crop[1]);
  const std::int64_t height = std::int64_t(heightInMapUnits) * 16 * (frameMacroblocksOnly ? 1 : 2) -
                              cropUnitY * (std::int64_t(crop[2]) + crop[3]);
  if (width <= 0 || height <= 0) return std::nullopt;
  parameters.dimensions = {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
  return parameters;
}

std::uint8_t unitType(std::span<const std::uint8_t> unit) { return unit.empty() ? 0 : unit[0] & 0x1F; }

}  // namespace

std::optional<VideoConfiguration> makeAVCConfiguration(std::span<const std::span<const std::uint8_t>> parameterSets,
                                                       int nalUnitHeaderLength, CMFormatDescriptionBytes& atom) {
  if (nalUnitHeaderLength != 1 && nalUnitHeaderLength != 2 && nalUnitHeaderLength != 4) return std::nullopt;
  std::vector<std::span<const std::uint8_t>> sequenceSets;
  std::vector<std::span<const std::uint8_t>> pictureSets;
  for (const auto& unit : parameterSets) {
    const std::uint8_t type = unitType(unit);
    if (type == spsType && unit.size() >= 4) {
      sequenceSets.push_back(unit);
    } else if (type == ppsType && unit.size() >= 2) {
      pictureSets.push_back(unit);
    } else {
      return std::nullopt;
    }
  }
  if (sequenceSets.empty() || pictureSets.empty() || sequenceSets.size() > 31 || pictureSets.size() > 255) {
    return std::nullopt;
  }
  const auto parameters = readSequenceParameters(sequenceSets.front());
  if (!parameters) return std::nullopt;

  const auto& first = sequenceSets.front();
  CMFormatDescriptionBytes bytes{1, first[1], first[2], first[3],
                                 static_cast<std::uint8_t>(0xFC | (nalUnitHeaderLength - 1)),
                                 static_cast<std::uint8_t>(0xE0 | sequenceSets.size())};
  VideoConfiguration configuration{{}, nalUnitHeaderLength, parameters->dimensions};
  for (const auto& unit : sequenceSets) {
    if (!appendSizedUnit(bytes, unit)) return std::nullopt;
    configuration.parameterSets.emplace_back(unit.begin(), unit.end());
  }
  bytes.push_back(static_cast<std::uint8_t>(pictureSets.size()));
  for (const auto& unit : pictureSets) {
    if (!appendSizedUnit(bytes, unit)) return std::nullopt;
    configuration.parameterSets.emplace_back(unit.begin(), unit.end());
  }
  if (parameters->profile == 100 || parameters->profile == 110 || parameters->profile == 122 ||
      parameters->profile == 144) {
    bytes.push_back(static_cast<std::uint8_t>(0xFC | parameters->chromaFormat));
    bytes.push_back(static_cast<std::uint8_t>(0xF8 | (parameters->bitDepthLumaMinus8 & 7)));
    bytes.push_back(static_cast<std::uint8_t>(0xF8 | (parameters->bitDepthChromaMinus8 & 7)));
    bytes.push_back(0);  // no SPS extensions
  }
  atom = std::move(bytes);
  return configuration;
}

std::optional<VideoConfiguration> parseAVCConfiguration(std::span<const std::uint8_t> atom) {
  AtomReader reader(atom);
  const auto version = reader.byte();
  reader.byte();
  reader.byte();
  reader.byte();
  const auto lengthSize = reader.byte();
  const auto sequenceCount = reader.byte();
  if (version != 1 || !lengthSize || !sequenceCount) return std::nullopt;
  VideoConfiguration configuration;
  configuration.nalUnitHeaderLength = (*lengthSize & 3) + 1;
  for (int index = 0; index < (*sequenceCount & 0x1F); ++index) {
    auto unit = reader.sizedUnit();
    if (!unit) return std::nullopt;
    configuration.parameterSets.push_back(std::move(*unit));
  }
  const auto pictureCount = reader.byte();
  if (!pictureCount) return std::nullopt;
  for (int index = 0; index < *pictureCount; ++index) {
    auto unit = reader.sizedUnit();
    if (!unit) return std::nullopt;
    configuration.parameterSets.push_back(std::move(*unit));
  }
  if (!configuration.parameterSets.empty() && unitType(configuration.parameterSets.front()) == spsType) {
    if (const auto parameters = readSequenceParameters(configuration.parameterSets.front())) {
      configuration.dimensions = parameters->dimensions;
    }
  }
  return configuration;
}

}  // namespace platform
