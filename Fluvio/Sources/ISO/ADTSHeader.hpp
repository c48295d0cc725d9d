#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Fluvio/Sources/Util/DataConvertible.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace fluvio {

// The fixed part of an ADTS frame header, as read from a stream.
struct ADTSHeader {
  std::uint8_t sync = 255;
  std::uint8_t id = 0;
  std::uint8_t layer = 0;
  bool protectionAbsent = false;
  std::uint8_t profile = 0;
  std::uint8_t sampleFrequencyIndex = 0;
  std::uint8_t channelConfiguration = 0;
  bool originalOrCopy = false;
  bool home = false;
  bool copyrightIdBit = false;
  bool copyrightIdStart = false;
  std::uint16_t aacFrameLength = 0;  // header included
  std::uint16_t bufferFullness = 0;
  std::uint8_t aacFrames = 0;  // raw data blocks in the frame - 1

  ADTSHeader() = default;
  explicit ADTSHeader(std::span<const std::uint8_t> data) { setData(data); }

  // Headers are only read, never written: always empty.
  std::vector<std::uint8_t> data() const { return {}; }
  // Reads the first seven bytes; fewer leave every field as it was. A CRC
  // that follows is not read.
  void setData(std::span<const std::uint8_t> data);

  // The AAC stream this header announces, or null when a field is outside
  // the tables.
  std::shared_ptr<const platform::CMFormatDescription> makeFormatDescription() const;

  bool operator==(const ADTSHeader&) const = default;
};

static_assert(DataConvertible<ADTSHeader>);

}  // namespace fluvio
