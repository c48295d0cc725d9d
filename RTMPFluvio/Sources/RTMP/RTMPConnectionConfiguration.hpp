#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMFObject.hpp"

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
  // Announced to the server once connected.
  std::uint32_t chunkSize = 8192;
};

}  // namespace rtmpfluvio
