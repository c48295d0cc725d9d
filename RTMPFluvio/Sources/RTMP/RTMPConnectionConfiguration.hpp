#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Network/DispatchQoS.hpp"
#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkSize.hpp"

namespace rtmpfluvio {

// What a connection sends in its connect command and how long it waits.
struct RTMPConnectionConfiguration {
  static constexpr std::string_view defaultFlashVer = "FMLE/3.0 (compatible; FMSc/1.0)";
  static constexpr std::uint32_t defaultChunkSizeS = 8192;
  static constexpr std::chrono::seconds defaultTimeout{15};
  static constexpr std::chrono::milliseconds defaultRequestTimeout{3000};

  std::optional<std::string> swfUrl;
  std::optional<std::string> pageUrl;
  std::string flashVer{defaultFlashVer};
  std::optional<std::vector<std::string>> fourCcList;
  std::optional<AMFObject> videoFourCcInfoMap;
  std::optional<AMFObject> audioFourCcInfoMap;
  std::int64_t capsEx = 0;
  // Bounds the socket's connect and everything up to the connect reply, a
  // stall of output, and the writing of what is queued at a close.
  std::chrono::seconds timeout = defaultTimeout;
  std::chrono::milliseconds requestTimeout = defaultRequestTimeout;
  // Announced to the server once connected; 1 to 2^31 - 1.
  std::uint32_t chunkSize = defaultChunkSizeS;
  // Passed to the socket: the priority of its packets.
  platform::DispatchQoS qualityOfService = platform::DispatchQoS::standard;

  // Throws std::invalid_argument for settings no server could accept, before
  // anything goes on the wire.
  void validate() const {
    if (!isValidChunkSize(chunkSize)) {
      throw std::invalid_argument("chunkSize " + std::to_string(chunkSize) + " is outside 1...2147483647");
    }
  }
};

}  // namespace rtmpfluvio
