#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkType.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessage.hpp"

namespace rtmpfluvio {

// Cuts outgoing messages into chunks. It remembers the last header written on
// each chunk stream, so a shorter header is only written where the peer can
// inherit exactly the fields the message has.
class RTMPChunkWriter {
 public:
  static constexpr std::uint32_t kDefaultChunkSize = 128;
  // The 24-bit length field carries no more.
  static constexpr std::size_t kMaximumPayloadSize = 0xFFFFFF;
  static constexpr std::uint32_t kMaximumChunkStreamId = 65599;

  std::uint32_t chunkSize() const noexcept { return chunkSize_; }
  // 1...0x7FFFFFFF; the caller announces it to the peer before the next write.
  void setChunkSize(std::uint32_t chunkSize);

  // Appends the chunks of `message` to `output`, the first with `type` or a
  // fuller header where `type` would inherit other values. Its timestamp is
  // absolute for type 0 and otherwise a delta to the previous message of its
  // message stream on this chunk stream. The header carries it in the form
  // the header written takes: a fuller header than asked for carries the
  // message stream's absolute time, since a delta there would count from
  // another stream's message. From 0xFFFFFF on the field is extended,
  // repeated on every chunk. Returns
  // the header type written first; none (nothing written) for an empty
  // payload. Throws RTMPChunkError messageTooLong for a payload the length
  // field cannot carry, writing nothing. For plain vectors and for bytes
  // from the block pool.
  template <class Allocator>
  std::optional<RTMPChunkType> write(RTMPChunkType type, std::uint32_t chunkStreamId, const RTMPMessage& message,
                                     std::vector<std::uint8_t, Allocator>& output);

  // Forgets every chunk stream and returns to the default chunk size.
  void reset();

 private:
  struct LastHeader {
    std::uint32_t messageStreamId;
    std::size_t length;
    std::uint8_t typeId;
    std::uint32_t timestampField;
  };

  RTMPChunkType headerType(RTMPChunkType requested, std::uint32_t chunkStreamId, const LastHeader& header) const;

  std::uint32_t chunkSize_ = kDefaultChunkSize;
  std::unordered_map<std::uint32_t, LastHeader> lastHeaders_;
  // The absolute time of the last message of each message stream on each
  // chunk stream (chunk stream id, message stream id), which a delta counts from.
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> clocks_;
};

}  // namespace rtmpfluvio
