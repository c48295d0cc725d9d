#include "Platform/CoreMedia/FourCharCode.hpp"

namespace platform {

std::string fourCCString(FourCharCode code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char character = static_cast<char>((code >> shift) & 0xFF);
    if (character < 0x20 || character > 0x7E) return std::to_string(code);
    text += character;
  }
  return text;
}

}  // namespace platform
