#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>

namespace rtmpfluvio {

// The header form of a chunk: 0 carries every field, 1 leaves out the message
// stream id, 2 also the length and type, 3 nothing (all inherited from the
// previous chunk on the same chunk stream).
enum class RTMPChunkType : std::uint8_t { zero = 0, one = 1, two = 2, three = 3 };

// Bytes of the message header that follows the basic header.
constexpr std::size_t messageHeaderSize(RTMPChunkType type) noexcept {
  constexpr std::size_t sizes[] = {11, 7, 3, 0};
  return sizes[static_cast<std::uint8_t>(type)];
}

std::ostream& operator<<(std::ostream& stream, RTMPChunkType type);

// The chunk streams this side writes on, by role.
enum class RTMPChunkStreamId : std::uint16_t { control = 2, command = 3, audio = 4, video = 5, data = 8 };

constexpr std::uint16_t rawValue(RTMPChunkStreamId id) noexcept { return static_cast<std::uint16_t>(id); }

}  // namespace rtmpfluvio
