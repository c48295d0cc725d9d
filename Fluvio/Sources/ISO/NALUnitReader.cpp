#include "Fluvio/Sources/ISO/NALUnitReader.hpp"

#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "Fluvio/Sources/ISO/NALLengthPrefix.hpp"

namespace fluvio {
namespace {

// Access unit delimiters: primary picture type 0 for a key frame, 1 otherwise,
// then the stop bit.
const std::vector<std::uint8_t> keyFrameDelimiter{0x09, 0x10};
const std::vector<std::uint8_t> frameDelimiter{0x09, 0x30};

}  // namespace

std::vector<std::vector<std::uint8_t>> NALUnitReader::read(const platform::CMSampleBuffer& sampleBuffer) const {
  std::vector<std::vector<std::uint8_t>> units;
  if (isNotSync(sampleBuffer)) {
    units.push_back(frameDelimiter);
  } else if (const auto& formatDescription = sampleBuffer.formatDescription()) {
    units.push_back(keyFrameDelimiter);
    const auto& parameterSets = formatDescription->parameterSets();
    units.insert(units.end(), parameterSets.begin(), parameterSets.end());
  }

  const auto& dataBuffer = sampleBuffer.dataBuffer();
  if (!dataBuffer) return units;
  const std::span<const std::uint8_t> data = dataBuffer->data();
  std::size_t position = 0;
  while (data.size() - position > nalLengthPrefixSize) {
    const std::size_t length = readNALLengthPrefix(data.data() + position);
    position += nalLengthPrefixSize;
    if (length > data.size() - position) break;
    units.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(position),
                       data.begin() + static_cast<std::ptrdiff_t>(position + length));
    position += length;
  }
  return units;
}

}  // namespace fluvio
