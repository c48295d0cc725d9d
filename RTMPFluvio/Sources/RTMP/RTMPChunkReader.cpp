#include "RTMPFluvio/Sources/RTMP/RTMPChunkReader.hpp"

#include <algorithm>

#include "RTMPFluvio/Sources/RTMP/BigEndian.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkError.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkSize.hpp"

namespace rtmpfluvio {
namespace {

constexpr std::uint32_t kExtendedTimestampMarker = 0xFFFFFF;
// No whole chunk is waiting (ids above 65599 cannot be written).
constexpr std::uint32_t kNoChunk = 0xFFFFFFFF;

}  // namespace

void RTMPChunkReader::setChunkSize(std::uint32_t chunkSize) {
  if (!isValidChunkSize(chunkSize)) {
    throw RTMPChunkError(RTMPChunkError::Case::invalidChunkSize, chunkSize);
  }
  chunkSize_ = chunkSize;
}

void RTMPChunkReader::put(std::span<const std::uint8_t> bytes) {
  if (position_ > 0) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ = 0;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<RTMPChunkReader::Message> RTMPChunkReader::next() {
  for (;;) {
    bool complete = false;
    const std::uint32_t chunkStreamId = readChunk(complete);
    if (chunkStreamId == kNoChunk) return std::nullopt;
    if (complete) {
      ChunkStream& stream = chunkStreams_[chunkStreamId];
      return Message{stream.message, stream.firstChunkType, chunkStreamId};
    }
  }
}

std::uint32_t RTMPChunkReader::readChunk(bool& complete) {
  const std::span<const std::uint8_t> unread(buffer_.data() + position_, buffer_.size() - position_);
  if (unread.empty()) return kNoChunk;

  const auto type = static_cast<RTMPChunkType>(unread[0] >> 6);
  std::uint32_t chunkStreamId = unread[0] & 0x3F;
  std::size_t offset = 1;
  if (chunkStreamId == 0) {
    if (unread.size() < 2) return kNoChunk;
    chunkStreamId = unread[1] + 64u;
    offset = 2;
  } else if (chunkStreamId == 1) {
    if (unread.size() < 3) return kNoChunk;
    chunkStreamId = unread[1] + 256u * unread[2] + 64u;
    offset = 3;
  }
  const std::size_t headerSize = messageHeaderSize(type);
  if (unread.size() < offset + headerSize) return kNoChunk;
  const auto header = unread.subspan(offset, headerSize);
  offset += headerSize;

  // Read everything into locals first: the chunk stream changes only once the
  // whole chunk is here.
  ChunkStream& stream = chunkStream(chunkStreamId);
  const bool startsMessage = type != RTMPChunkType::three || !stream.inMessage;
  std::uint32_t field = type == RTMPChunkType::three ? stream.timestampField : readBigEndian(header, 3);
  const bool extended = type == RTMPChunkType::three ? stream.extended : field == kExtendedTimestampMarker;
  if (extended) {
    // Waits for 4 bytes even where a short last piece might end the stream:
    // fewer cannot tell the two kinds of continuation chunk apart.
    if (unread.size() < offset + 4) return kNoChunk;
    const std::uint32_t extendedField = readBigEndian(unread.subspan(offset, 4), 4);
    if (startsMessage) {
      field = extendedField;
      offset += 4;
    } else if (extendedField == stream.timestampField) {
      // Senders differ: some repeat the extended field on the continuation
      // chunks of a message, some leave it out. Bytes that repeat it are the
      // field; any others are payload.
      offset += 4;
    }
  }
  const std::size_t length = type == RTMPChunkType::zero || type == RTMPChunkType::one
                                 ? readBigEndian(header.subspan(3), 3)
                                 : stream.message.messageLength;
  const std::size_t received = startsMessage ? 0 : stream.message.payload.size();
  const std::size_t piece = std::min<std::size_t>(length - received, chunkSize_);
  if (unread.size() < offset + piece) return kNoChunk;

  RTMPChunkMessageHeader& message = stream.message;
  if (startsMessage) {
    message.payload.clear();
    message.messageLength = length;
    release(stream);
    stream.firstChunkType = type;
    stream.timestampField = field;
    stream.extended = extended;
    if (type == RTMPChunkType::zero) {
      message.timestamp = field;
      message.messageStreamId = header[7] | header[8] << 8 | header[9] << 16 | std::uint32_t{header[10]} << 24;
    } else {
      message.timestamp += field;  // modulo 2^32, as the protocol counts
    }
    if (type == RTMPChunkType::zero || type == RTMPChunkType::one) message.messageTypeId = header[6];
  }
  reserve(stream, received + piece);
  const auto payload = unread.subspan(offset, piece);
  message.payload.insert(message.payload.end(), payload.begin(), payload.end());
  message.position = message.payload.size();
  position_ += offset + piece;

  stream.inMessage = message.payload.size() < message.messageLength;
  complete = !stream.inMessage;
  return chunkStreamId;
}

RTMPChunkReader::ChunkStream& RTMPChunkReader::chunkStream(std::uint32_t chunkStreamId) {
  if (const auto found = chunkStreams_.find(chunkStreamId); found != chunkStreams_.end()) return found->second;
  if (chunkStreams_.size() >= kMaximumChunkStreams) {
    throw RTMPChunkError(RTMPChunkError::Case::tooManyChunkStreams, chunkStreams_.size() + 1);
  }
  return chunkStreams_[chunkStreamId];
}

void RTMPChunkReader::reserve(ChunkStream& stream, std::size_t size) {
  auto& payload = stream.message.payload;
  const std::size_t capacity = payload.capacity();
  if (size <= capacity) return;
  const std::size_t grown = std::min(stream.message.messageLength, std::max(size, 2 * capacity));
  const std::size_t total = bufferedBytes_ - capacity + grown;
  if (total > kMaximumBufferedBytes) throw RTMPChunkError(RTMPChunkError::Case::bufferLimitExceeded, total);
  payload.reserve(grown);
  bufferedBytes_ = bufferedBytes_ - capacity + payload.capacity();
}

void RTMPChunkReader::release(ChunkStream& stream) {
  auto& payload = stream.message.payload;
  if (payload.capacity() <= stream.message.messageLength) return;
  bufferedBytes_ -= payload.capacity();
  std::vector<std::uint8_t>().swap(payload);
}

void RTMPChunkReader::abort(std::uint32_t chunkStreamId) {
  const auto found = chunkStreams_.find(chunkStreamId);
  if (found == chunkStreams_.end()) return;
  found->second.inMessage = false;
  found->second.message.payload.clear();
  found->second.message.position = 0;
}

void RTMPChunkReader::reset() {
  buffer_.clear();
  position_ = 0;
  chunkSize_ = kDefaultChunkSize;
  chunkStreams_.clear();
  bufferedBytes_ = 0;
}

}  // namespace rtmpfluvio
