#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Four ASCII characters packed big-endian into 32 bits ("avc1", "BGRA", "lpcm").
using FourCharCode = std::uint32_t;
using OSType = FourCharCode;

constexpr FourCharCode fourCC(const char (&code)[5]) {
  return (FourCharCode(std::uint8_t(code[0])) << 24) | (FourCharCode(std::uint8_t(code[1])) << 16) |
         (FourCharCode(std::uint8_t(code[2])) << 8) | FourCharCode(std::uint8_t(code[3]));
}

// The code as text when all four bytes print, else its decimal value.
std::string fourCCString(FourCharCode code);

}  // namespace platform
