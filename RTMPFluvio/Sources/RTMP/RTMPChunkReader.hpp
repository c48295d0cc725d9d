#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkMessageHeader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkType.hpp"

namespace rtmpfluvio {

// Reassembles messages from the chunks a peer sends. Bytes go in with `put`
// in any pieces; `next` hands out each complete message once. Memory grows
// only with bytes received: a claimed message length reserves nothing, and
// what all chunk streams together hold is bounded.
class RTMPChunkReader {
 public:
  static constexpr std::uint32_t kDefaultChunkSize = 128;
  // What the 24-bit length field carries.
  static constexpr std::size_t kMaximumMessageLength = 0xFFFFFF;
  // Payload buffers of all chunk streams, partial or kept for the next
  // message: room for a few of the largest messages at once.
  static constexpr std::size_t kMaximumBufferedBytes = 4 * kMaximumMessageLength;
  // A server uses a handful; each one keeps its header for the next message.
  static constexpr std::size_t kMaximumChunkStreams = 1024;

  struct Message {
    // Valid until the next call of `next`, `put` or `reset`. Its timestamp is
    // absolute: type 0 sets it, the other types add their delta.
    const RTMPChunkMessageHeader& header;
    // The header type of the message's first chunk.
    RTMPChunkType chunkType;
    std::uint32_t chunkStreamId;
  };

  std::uint32_t chunkSize() const noexcept { return chunkSize_; }
  // Throws RTMPChunkError invalidChunkSize for 0 or a size with the top bit set.
  void setChunkSize(std::uint32_t chunkSize);

  // Appends received bytes after the unread ones.
  void put(std::span<const std::uint8_t> bytes);
  // The next complete message, or none until more bytes arrive. Throws
  // RTMPChunkError tooManyChunkStreams or bufferLimitExceeded when the peer
  // would make it hold more than its bounds; the reader must then be reset.
  std::optional<Message> next();
  // Drops the partial message of one chunk stream (an abort from the peer).
  void abort(std::uint32_t chunkStreamId);
  // Back to the state of a new connection: no chunk streams, no unread bytes,
  // the default chunk size.
  void reset();

  // Bytes received and not yet consumed as whole chunks.
  std::size_t unreadByteCount() const noexcept { return buffer_.size() - position_; }
  // Bytes the chunk streams' payload buffers hold, counted against
  // kMaximumBufferedBytes.
  std::size_t bufferedByteCount() const noexcept { return bufferedBytes_; }
  std::size_t chunkStreamCount() const noexcept { return chunkStreams_.size(); }

 private:
  struct ChunkStream {
    RTMPChunkMessageHeader message;
    // The last timestamp field: absolute after type 0, a delta after 1 and 2.
    std::uint32_t timestampField = 0;
    // The last 3-byte field was 0xFFFFFF, so every chunk carries 4 more bytes.
    bool extended = false;
    bool inMessage = false;
    RTMPChunkType firstChunkType = RTMPChunkType::zero;
  };

  // Consumes one whole chunk and returns its chunk stream id, setting
  // `complete` when it ends a message; kNoChunk when the chunk is not all here.
  std::uint32_t readChunk(bool& complete);
  ChunkStream& chunkStream(std::uint32_t chunkStreamId);
  // Makes room for `size` payload bytes, growing by doubling up to the
  // message length, within kMaximumBufferedBytes.
  void reserve(ChunkStream& stream, std::size_t size);
  // Frees a buffer larger than the message starting on it needs.
  void release(ChunkStream& stream);

  std::vector<std::uint8_t> buffer_;
  std::size_t position_ = 0;
  std::uint32_t chunkSize_ = kDefaultChunkSize;
  std::unordered_map<std::uint32_t, ChunkStream> chunkStreams_;
  std::size_t bufferedBytes_ = 0;
};

}  // namespace rtmpfluvio
