#pragma once

#include <cstdint>

namespace rtmpfluvio {

// The chunk sizes a set-chunk-size message can carry: its top bit is reserved.
inline constexpr std::uint32_t kMaximumChunkSize = 0x7FFFFFFF;

constexpr bool isValidChunkSize(std::uint32_t chunkSize) noexcept {
  return chunkSize >= 1 && chunkSize <= kMaximumChunkSize;
}

}  // namespace rtmpfluvio
