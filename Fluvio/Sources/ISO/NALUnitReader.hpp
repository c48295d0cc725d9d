#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Fluvio/Sources/ISO/NALStartCodes.hpp"
#include "Fluvio/Sources/ISO/NALUnit.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

// Cuts video data into NAL units.
class NALUnitReader {
 public:
  static constexpr std::int32_t defaultNALUnitHeaderLength = 4;

  static std::shared_ptr<NALUnitReader> make() { return std::make_shared<NALUnitReader>(); }

  // Kept for callers; neither read consults it.
  std::int32_t nalUnitHeaderLength = defaultNALUnitHeaderLength;

  // The units of start-code data, the last unit of the data first. Places too
  // short to hold a unit header (back-to-back start codes) are skipped.
  template <NALUnit Unit>
  std::vector<Unit> read(std::span<const std::uint8_t> data) const {
    const std::vector<NALStartCodeUnit> places = findNALStartCodeUnits(data);
    std::vector<Unit> units;
    units.reserve(places.size());
    for (auto place = places.rbegin(); place != places.rend(); ++place) {
      if (place->length < Unit::headerLength) continue;
      units.emplace_back(data.subspan(place->offset, place->length));
    }
    return units;
  }

  // The raw units an H.264 start-code consumer needs for one frame: an access
  // unit delimiter, for a key frame the format description's parameter sets,
  // then the units of the 4-byte length-prefixed sample data. A unit whose
  // length runs past the data ends the walk.
  std::vector<std::vector<std::uint8_t>> read(const platform::CMSampleBuffer& sampleBuffer) const;
};

}  // namespace fluvio
