#include "Fluvio/Sources/ISO/ISOTypeBufferUtil.hpp"

#include <algorithm>
#include <limits>

#include "Fluvio/Sources/ISO/ByteArray.hpp"
#include "Fluvio/Sources/ISO/NALLengthPrefix.hpp"
#include "Fluvio/Sources/ISO/NALStartCodes.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace fluvio {
namespace {

constexpr std::uint8_t startCode[] = {0x00, 0x00, 0x00, 0x01};

}  // namespace

ISOTypeBufferUtil::ISOTypeBufferUtil(const std::uint8_t* bytes, std::uint32_t count)
    : data_(bytes == nullptr ? std::vector<std::uint8_t>() : std::vector<std::uint8_t>(bytes, bytes + count)) {}

std::optional<ISOTypeBufferUtil> ISOTypeBufferUtil::make(std::optional<std::vector<std::uint8_t>> data) {
  if (!data) return std::nullopt;
  return ISOTypeBufferUtil(std::move(*data));
}

std::vector<std::uint8_t> ISOTypeBufferUtil::toByteStream() const {
  ByteArray buffer(data_);
  std::vector<std::uint8_t> result;
  result.reserve(data_.size());
  try {
    while (buffer.bytesAvailable() > 0) {
      const std::uint32_t length = buffer.readUInt32();
      // Read before the start code goes out, so a cut unit leaves no trace.
      const std::span<const std::uint8_t> unit = buffer.readBytes(length);
      result.insert(result.end(), std::begin(startCode), std::end(startCode));
      result.insert(result.end(), unit.begin(), unit.end());
    }
  } catch (const ByteArray::Error&) {
    TP_ERROR(logger(), buffer.debugDescription());
  }
  return result;
}

void ISOTypeBufferUtil::toNALFileFormat(std::vector<std::uint8_t>& data) {
  const std::vector<NALStartCodeUnit> units = findNALStartCodeUnits(data);
  if (units.empty()) return;

  const std::size_t leadingBytes = units.front().startCodeOffset;
  std::size_t convertedSize = leadingBytes;
  bool inPlace = true;
  for (const NALStartCodeUnit& unit : units) {
    if (unit.length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      TP_ERROR(logger(), "NAL unit of ", unit.length, " bytes at offset ", unit.offset,
               " does not fit a 32-bit length; data left unconverted");
      return;
    }
    if (unit.length == 0 || unit.startCodeLength() != nalLengthPrefixSize) inPlace = false;
    if (unit.length > 0) convertedSize += nalLengthPrefixSize + unit.length;
  }

  if (inPlace) {
    for (const NALStartCodeUnit& unit : units) {
      writeNALLengthPrefix(data.data() + unit.startCodeOffset, static_cast<std::uint32_t>(unit.length));
    }
    return;
  }

  std::vector<std::uint8_t> converted(convertedSize);
  auto output = std::copy_n(data.begin(), leadingBytes, converted.begin());
  for (const NALStartCodeUnit& unit : units) {
    if (unit.length == 0) continue;
    writeNALLengthPrefix(&*output, static_cast<std::uint32_t>(unit.length));
    output = std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(unit.offset), unit.length,
                         output + nalLengthPrefixSize);
  }
  data = std::move(converted);
}

}  // namespace fluvio
