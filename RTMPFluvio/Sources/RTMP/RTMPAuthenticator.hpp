#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "RTMPFluvio/Sources/RTMP/RTMPStatus.hpp"

namespace rtmpfluvio {

// Answers a server's authentication rejection with the URL of the next
// connect: first the method and user ("authmod=adobe&user=..."), then the
// response to the server's challenge. At most one round of each per connect.
class RTMPAuthenticator {
 public:
  // The URL to connect to next, or none: the rejection is final (no marker,
  // "reason=authfailed", a round already used, no credentials, no salt).
  std::optional<std::string> makeCommand(std::string_view command, const RTMPStatus& status);
  // A new connect may use both rounds again.
  void reset() noexcept {
    authmodSent_ = false;
    challengeAnswered_ = false;
  }

  // The name-value pairs after the first "?" of a rejection description.
  static std::map<std::string, std::string> challengeParameters(std::string_view description);
  // Base64 of MD5(Base64(MD5(user + salt + password)) + opaque-or-challenge + clientChallenge).
  static std::string challengeResponse(std::string_view user, std::string_view password, std::string_view salt,
                                       std::string_view opaqueOrChallenge, std::string_view clientChallenge);

 private:
  bool authmodSent_ = false;
  bool challengeAnswered_ = false;
};

}  // namespace rtmpfluvio
