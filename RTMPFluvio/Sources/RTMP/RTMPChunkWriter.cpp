#include "RTMPFluvio/Sources/RTMP/RTMPChunkWriter.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "Platform/Network/OutgoingBytes.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkError.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkSize.hpp"

namespace rtmpfluvio {
namespace {

constexpr std::uint32_t kExtendedTimestampMarker = 0xFFFFFF;

// Basic header (up to 3 bytes), message header (up to 11), extended timestamp (4).
using HeaderBytes = std::array<std::uint8_t, 18>;

std::size_t putBasicHeader(HeaderBytes& bytes, RTMPChunkType type, std::uint32_t chunkStreamId) {
  const auto typeBits = static_cast<std::uint8_t>(static_cast<std::uint8_t>(type) << 6);
  if (chunkStreamId < 64) {
    bytes[0] = typeBits | static_cast<std::uint8_t>(chunkStreamId);
    return 1;
  }
  const std::uint32_t value = chunkStreamId - 64;
  if (chunkStreamId < 320) {
    bytes[0] = typeBits;
    bytes[1] = static_cast<std::uint8_t>(value);
    return 2;
  }
  bytes[0] = typeBits | 1;
  bytes[1] = static_cast<std::uint8_t>(value);
  bytes[2] = static_cast<std::uint8_t>(value >> 8);
  return 3;
}

std::size_t putBigEndian(std::uint8_t* bytes, std::uint32_t value, std::size_t width) {
  for (std::size_t index = 0; index < width; ++index) {
    bytes[index] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - index)));
  }
  return width;
}

}  // namespace

void RTMPChunkWriter::setChunkSize(std::uint32_t chunkSize) {
  if (!isValidChunkSize(chunkSize)) throw std::invalid_argument("chunk size outside 1...0x7FFFFFFF");
  chunkSize_ = chunkSize;
}

RTMPChunkType RTMPChunkWriter::headerType(RTMPChunkType requested, std::uint32_t chunkStreamId,
                                          const LastHeader& header) const {
  const auto last = lastHeaders_.find(chunkStreamId);
  if (requested == RTMPChunkType::zero || last == lastHeaders_.end()) return RTMPChunkType::zero;
  const LastHeader& previous = last->second;
  if (previous.messageStreamId != header.messageStreamId) return RTMPChunkType::zero;
  if (requested == RTMPChunkType::one) return requested;
  if (previous.length != header.length || previous.typeId != header.typeId) return RTMPChunkType::one;
  if (requested == RTMPChunkType::two) return requested;
  return previous.timestampField == header.timestampField ? RTMPChunkType::three : RTMPChunkType::two;
}

template <class Allocator>
std::optional<RTMPChunkType> RTMPChunkWriter::write(RTMPChunkType requested, std::uint32_t chunkStreamId,
                                                    const RTMPMessage& message,
                                                    std::vector<std::uint8_t, Allocator>& output) {
  if (chunkStreamId < 2 || chunkStreamId > kMaximumChunkStreamId) {
    throw std::invalid_argument("chunk stream id outside 2...65599");
  }
  const auto& payload = message.payload();
  if (payload.size() > kMaximumPayloadSize) {
    throw RTMPChunkError(RTMPChunkError::Case::messageTooLong, payload.size());
  }
  if (payload.empty()) return std::nullopt;

  LastHeader header{message.streamId(), payload.size(), rawValue(message.type()), message.timestamp()};
  const RTMPChunkType type = headerType(requested, chunkStreamId, header);
  std::uint32_t& clock = clocks_[{chunkStreamId, header.messageStreamId}];
  // Modulo 2^32, as the protocol counts.
  clock = requested == RTMPChunkType::zero ? message.timestamp() : clock + message.timestamp();
  if (type == RTMPChunkType::zero) header.timestampField = clock;
  lastHeaders_[chunkStreamId] = header;
  const bool extended = header.timestampField >= kExtendedTimestampMarker;

  HeaderBytes first{};
  std::size_t firstSize = putBasicHeader(first, type, chunkStreamId);
  if (type != RTMPChunkType::three) {
    firstSize += putBigEndian(&first[firstSize], std::min(header.timestampField, kExtendedTimestampMarker), 3);
  }
  if (type == RTMPChunkType::zero || type == RTMPChunkType::one) {
    firstSize += putBigEndian(&first[firstSize], static_cast<std::uint32_t>(header.length), 3);
    first[firstSize++] = header.typeId;
  }
  if (type == RTMPChunkType::zero) {
    for (int shift = 0; shift < 32; shift += 8) first[firstSize++] = static_cast<std::uint8_t>(header.messageStreamId >> shift);
  }
  HeaderBytes continuation{};
  std::size_t continuationSize = putBasicHeader(continuation, RTMPChunkType::three, chunkStreamId);
  if (extended) {
    firstSize += putBigEndian(&first[firstSize], header.timestampField, 4);
    continuationSize += putBigEndian(&continuation[continuationSize], header.timestampField, 4);
  }

  const std::size_t chunkCount = (payload.size() + chunkSize_ - 1) / chunkSize_;
  output.reserve(output.size() + payload.size() + firstSize + (chunkCount - 1) * continuationSize);
  for (std::size_t offset = 0; offset < payload.size(); offset += chunkSize_) {
    if (offset == 0) {
      output.insert(output.end(), first.begin(), first.begin() + static_cast<std::ptrdiff_t>(firstSize));
    } else {
      output.insert(output.end(), continuation.begin(), continuation.begin() + static_cast<std::ptrdiff_t>(continuationSize));
    }
    const std::size_t piece = std::min<std::size_t>(chunkSize_, payload.size() - offset);
    output.insert(output.end(), payload.begin() + static_cast<std::ptrdiff_t>(offset),
                  payload.begin() + static_cast<std::ptrdiff_t>(offset + piece));
  }
  return type;
}

template std::optional<RTMPChunkType> RTMPChunkWriter::write(RTMPChunkType, std::uint32_t, const RTMPMessage&,
                                                             std::vector<std::uint8_t>&);
template std::optional<RTMPChunkType> RTMPChunkWriter::write(RTMPChunkType, std::uint32_t, const RTMPMessage&,
                                                             platform::OutgoingBytes&);

void RTMPChunkWriter::reset() {
  chunkSize_ = kDefaultChunkSize;
  lastHeaders_.clear();
  clocks_.clear();
}

}  // namespace rtmpfluvio
