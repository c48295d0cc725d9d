#include "Tracepost/Sources/UTF8.hpp"

#include <cstdint>
#include <cstring>

namespace tracepost {

bool isValidUTF8(std::string_view text) noexcept {
  std::size_t index = 0;
  while (index < text.size()) {
    // Runs of ASCII, the common case, go eight bytes at a time.
    std::uint64_t eight = 0;
    if (text.size() - index >= sizeof eight) {
      std::memcpy(&eight, text.data() + index, sizeof eight);
      if ((eight & 0x8080808080808080u) == 0) {
        index += sizeof eight;
        continue;
      }
    }
    const auto lead = static_cast<unsigned char>(text[index]);
    if (lead < 0x80) {
      ++index;
      continue;
    }
    std::size_t length;
    unsigned char low = 0x80;   // bounds of the second byte, which rule out
    unsigned char high = 0xBF;  // overlong forms, surrogates and > U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (text.size() - index < length) return false;
    const auto second = static_cast<unsigned char>(text[index + 1]);
    if (second < low || second > high) return false;
    for (std::size_t offset = 2; offset < length; ++offset) {
      const auto continuation = static_cast<unsigned char>(text[index + offset]);
      if (continuation < 0x80 || continuation > 0xBF) return false;
    }
    index += length;
  }
  return true;
}

}  // namespace tracepost
