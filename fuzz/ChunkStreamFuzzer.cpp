// Reads peer-chosen bytes as the chunk stream a server sends after the
// handshake, applying its chunk sizes and aborts and reading its command
// replies as the connection does. The first byte picks how the bytes are cut.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkError.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkReader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceivedMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPResponse.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rtmpfluvio;
  if (size == 0) return 0;
  const std::size_t piece = data[0] + 1u;
  const std::span<const std::uint8_t> bytes(data + 1, size - 1);
  RTMPChunkReader reader;
  std::size_t fed = 0;
  try {
    for (std::size_t offset = 0; offset < bytes.size(); offset += piece) {
      const auto part = bytes.subspan(offset, std::min(piece, bytes.size() - offset));
      reader.put(part);
      fed += part.size();
      while (const auto chunk = reader.next()) {
        if (chunk->header.payload.size() != chunk->header.messageLength) __builtin_trap();
        const auto message = decodeMessage(chunk->header);
        if (!message) continue;
        if (const auto* chunkSize = std::get_if<RTMPSetChunkSizeMessage>(&*message)) {
          reader.setChunkSize(chunkSize->size());
        } else if (const auto* abort = std::get_if<RTMPAbortMessge>(&*message)) {
          reader.abort(abort->chunkStreamId());
        } else if (const auto* command = std::get_if<RTMPCommandMessage>(&*message)) {
          const RTMPResponse response(*command);
          (void)response;
        }
      }
      // Nothing is held beyond what arrived (buffers at most double it) or
      // beyond the reader's bounds.
      if (reader.unreadByteCount() > fed) __builtin_trap();
      if (reader.bufferedByteCount() > std::min(2 * fed, RTMPChunkReader::kMaximumBufferedBytes)) __builtin_trap();
      if (reader.chunkStreamCount() > RTMPChunkReader::kMaximumChunkStreams) __builtin_trap();
    }
  } catch (const RTMPChunkError&) {
    // A protocol error closes the connection.
  }
  return 0;
}
