// Parses peer-chosen bytes as avcC and hvcC records, writes them back, and
// reads what was written again: it must give the same record.
#include <cstddef>
#include <cstdint>
#include <span>

#include "RTMPFluvio/Sources/Codec/AVCDecoderConfigurationRecord.hpp"
#include "RTMPFluvio/Sources/Codec/HEVCDecoderConfigurationRecord.hpp"

namespace {

template <class Record>
void roundTrip(std::span<const std::uint8_t> bytes) {
  Record record;
  record.setData(bytes);
  record.makeFormatDescription();
  const auto written = record.data();
  if (written.empty()) return;
  Record reread;
  reread.setData(written);
  if (reread.data() != written) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  roundTrip<rtmpfluvio::AVCDecoderConfigurationRecord>(bytes);
  roundTrip<rtmpfluvio::HEVCDecoderConfigurationRecord>(bytes);
  return 0;
}
