#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace rtmpfluvio {

// A codec's decoder configuration that gives the video format description a
// decoder is set up with.
template <class Record>
concept DecoderConfigurationRecord = requires(const Record& record) {
  { record.makeFormatDescription() } -> std::convertible_to<std::shared_ptr<const platform::CMFormatDescription>>;
};

// Parameter sets for a record's debug text: "[67 42 C0 1F, 68 CE 3C 80]".
std::string describeParameterSets(const std::vector<std::vector<std::uint8_t>>& parameterSets);

}  // namespace rtmpfluvio
