#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace rtmpfluvio {

// The RFC 1321 message digest, for the answer to a server that asks for
// authentication.
struct MD5 {
  using Digest = std::array<std::uint8_t, 16>;

  static Digest calculate(std::span<const std::uint8_t> message);
  static Digest calculate(std::string_view message) {
    return calculate(std::span(reinterpret_cast<const std::uint8_t*>(message.data()), message.size()));
  }
};

}  // namespace rtmpfluvio
