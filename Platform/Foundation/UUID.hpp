#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace platform {

// A universally unique identifier. A new one is random (version 4, variant
// of RFC 4122), drawn from the kernel's random source.
class UUID {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  // Throws std::system_error when no random bytes can be had.
  UUID();
  explicit UUID(const Bytes& bytes) noexcept : bytes_(bytes) {}

  const Bytes& bytes() const noexcept { return bytes_; }
  // "8-4-4-4-12" upper-case hex digits, e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
  std::string uuidString() const;

  friend bool operator==(const UUID&, const UUID&) = default;

 private:
  Bytes bytes_;
};

}  // namespace platform
