// Reads arbitrary bytes as the media formats that arrive from peers or files:
// ADTS headers, AAC configurations, start-code and length-prefixed video.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Fluvio/Sources/ISO/ADTSHeader.hpp"
#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"
#include "Fluvio/Sources/ISO/H264NALUnit.hpp"
#include "Fluvio/Sources/ISO/HEVCNALUnit.hpp"
#include "Fluvio/Sources/ISO/ISOTypeBufferUtil.hpp"
#include "Fluvio/Sources/ISO/NALUnitReader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace fluvio;
  const std::span<const std::uint8_t> bytes(data, size);

  const ADTSHeader header(bytes);
  header.makeFormatDescription();

  if (const auto config = AudioSpecificConfig::make(bytes)) {
    config->streamDescription();
    config->makeAudioFormat();
    std::uint8_t adts[AudioSpecificConfig::adtsHeaderSize];
    config->encode(adts, size);
  }

  const NALUnitReader reader;
  reader.read<H264NALUnit>(bytes);
  reader.read<HEVCNALUnit>(bytes);

  const ISOTypeBufferUtil lengthPrefixed(data, static_cast<std::uint32_t>(size));
  lengthPrefixed.toByteStream();
  std::vector<std::uint8_t> startCoded(bytes.begin(), bytes.end());
  ISOTypeBufferUtil::toNALFileFormat(startCoded);
  return 0;
}
