#include "RTMPFluvio/Sources/Codec/DecoderConfigurationRecord.hpp"

namespace rtmpfluvio {

std::string describeParameterSets(const std::vector<std::vector<std::uint8_t>>& parameterSets) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "[";
  for (std::size_t set = 0; set < parameterSets.size(); ++set) {
    if (set > 0) text += ", ";
    for (std::size_t index = 0; index < parameterSets[set].size(); ++index) {
      if (index > 0) text += ' ';
      text += kDigits[parameterSets[set][index] >> 4];
      text += kDigits[parameterSets[set][index] & 0x0F];
    }
  }
  return text + "]";
}

}  // namespace rtmpfluvio
