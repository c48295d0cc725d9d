#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Fluvio/Sources/ISO/HEVCNALUnit.hpp"
#include "Fluvio/Sources/Util/DataConvertible.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "RTMPFluvio/Sources/Codec/DecoderConfigurationRecord.hpp"

namespace rtmpfluvio {

// The HEVC decoder configuration record ("hvcC") of a sequence start, its
// NAL unit arrays held per unit type. Each number is held right-aligned in
// the width the record gives it.
struct HEVCDecoderConfigurationRecord {
  using Bytes = std::vector<std::uint8_t>;

  std::uint8_t configurationVersion = 1;
  std::uint8_t generalProfileSpace = 0;
  bool generalTierFlag = false;
  std::uint8_t generalProfileIdc = 0;
  std::uint32_t generalProfileCompatibilityFlags = 0;
  std::uint64_t generalConstraintIndicatorFlags = 0;  // 48 bits
  std::uint8_t generalLevelIdc = 0;
  std::uint16_t minSpatialSegmentationIdc = 0;  // 12 bits
  std::uint8_t parallelismType = 0;
  std::uint8_t chromaFormat = 0;
  std::uint8_t bitDepthLumaMinus8 = 0;
  std::uint8_t bitDepthChromaMinus8 = 0;
  std::uint16_t avgFrameRate = 0;
  std::uint8_t constantFrameRate = 0;
  std::uint8_t numTemporalLayers = 0;
  std::uint8_t temporalIdNested = 0;
  std::uint8_t lengthSizeMinusOne = 0;
  // As read; the writer counts the arrays it writes.
  std::uint8_t numberOfArrays = 0;
  // Units of types with no name of their own are kept under `unspec`, the
  // arrays of several such types together.
  std::map<fluvio::HEVCNALUnitType, std::vector<Bytes>> array;
  // Whether an array holds every unit of its type the stream uses, as read.
  // An array without an entry is written complete when it holds parameter
  // sets and incomplete otherwise.
  std::map<fluvio::HEVCNALUnitType, bool> arrayCompleteness;

  // The whole record, reserved bits set; the `unspec` units go out as one
  // array per unit type, as their headers give it. Empty when the arrays,
  // a unit count or a unit are too many or too long for their fields.
  Bytes data() const;
  // Reads the record; a later array of a type replaces an earlier one. A
  // record cut short is logged; what was read before the cut stays.
  void setData(std::span<const std::uint8_t> bytes);

  // From the first video, sequence and picture parameter sets, with the
  // record's NAL unit length size; null without all three or when the
  // platform refuses them.
  std::shared_ptr<const platform::CMFormatDescription> makeFormatDescription() const;

  std::string debugDescription() const;

  bool operator==(const HEVCDecoderConfigurationRecord&) const = default;

 private:
  // The `numberOfArrays` arrays after the fixed part; false when cut short.
  bool readArrays(std::span<const std::uint8_t> bytes);
};

static_assert(fluvio::DataConvertible<HEVCDecoderConfigurationRecord>);
static_assert(DecoderConfigurationRecord<HEVCDecoderConfigurationRecord>);

}  // namespace rtmpfluvio
