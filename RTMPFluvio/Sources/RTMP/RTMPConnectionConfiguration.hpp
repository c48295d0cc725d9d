#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkSize.hpp"

namespace rtmpfluvio {

// What a connection sends in its connect command and how long it waits.
struct RTMPConnectionConfiguration {
  std::optional<std::string> swfUrl;
  std::optional<std::string> pageUrl;
  std::string flashVer = "FMLE/3.0 (compatible; FMSc/1.0)";
  std::optional<std::vector<std::string>> fourCcList;
  std::optional<AMFObject> videoFourCcInfoMap;
  std::optional<AMFObject> audioFourCcInfoMap;
  std::int64_t capsEx = 0;
  // Bounds the socket's connect and everything up to the connect reply.
  std::chrono::seconds timeout{15};
  std::chrono::milliseconds requestTimeout{3000};
  // Announced to the server once connected; 1 to 2^31 - 1.
  std::uint32_t chunkSize = 8192;

  // Throws std::invalid_argument for settings no server could accept, before
  // anything goes on the wire.
  void validate() const {
    if (!isValidChunkSize(chunkSize)) {
      throw std::invalid_argument("chunkSize " + std::to_string(chunkSize) + " is outside 1...2147483647");
    }
  }
};

}  // namespace rtmpfluvio
