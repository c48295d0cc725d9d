#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace rtmpfluvio {

// The chunk layer's record of one received message. The message decoders read
// it only once the whole payload has arrived, and never change it.
class RTMPChunkMessageHeader {
 public:
  static std::shared_ptr<RTMPChunkMessageHeader> make() { return std::make_shared<RTMPChunkMessageHeader>(); }

  // Milliseconds, as the chunk layer has accumulated them.
  std::uint32_t timestamp = 0;
  std::size_t messageLength = 0;
  std::uint8_t messageTypeId = 0;
  std::uint32_t messageStreamId = 0;
  // The reassembled payload.
  std::vector<std::uint8_t> payload;
  // Bytes of the payload received so far.
  std::size_t position = 0;
};

}  // namespace rtmpfluvio
