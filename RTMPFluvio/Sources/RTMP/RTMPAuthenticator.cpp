#include "RTMPFluvio/Sources/RTMP/RTMPAuthenticator.hpp"

#include <cstdio>
#include <random>

#include "Platform/Foundation/URL.hpp"
#include "RTMPFluvio/Sources/RTMP/MD5.hpp"
#include "RTMPFluvio/Sources/RTMP/URLCredentials.hpp"

namespace rtmpfluvio {
namespace {

std::string base64(const MD5::Digest& digest) {
  static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t index = 0; index < digest.size(); index += 3) {
    std::uint32_t group = std::uint32_t{digest[index]} << 16;
    if (index + 1 < digest.size()) group |= std::uint32_t{digest[index + 1]} << 8;
    if (index + 2 < digest.size()) group |= digest[index + 2];
    text.push_back(alphabet[(group >> 18) & 0x3F]);
    text.push_back(alphabet[(group >> 12) & 0x3F]);
    text.push_back(index + 1 < digest.size() ? alphabet[(group >> 6) & 0x3F] : '=');
    text.push_back(index + 2 < digest.size() ? alphabet[group & 0x3F] : '=');
  }
  return text;
}

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string clientChallenge() {
  std::random_device source;
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(source()));
  return text;
}

}  // namespace

std::map<std::string, std::string> RTMPAuthenticator::challengeParameters(std::string_view description) {
  const auto question = description.find('?');
  if (question == std::string_view::npos) return {};
  return queryDictionary("rtmp://authentication/?" + std::string(description.substr(question + 1)));
}

std::string RTMPAuthenticator::challengeResponse(std::string_view user, std::string_view password,
                                                 std::string_view salt, std::string_view opaqueOrChallenge,
                                                 std::string_view clientChallenge) {
  std::string hash = base64(MD5::calculate(std::string(user) + std::string(salt) + std::string(password)));
  hash += opaqueOrChallenge;
  return base64(MD5::calculate(hash + std::string(clientChallenge)));
}

std::optional<std::string> RTMPAuthenticator::makeCommand(std::string_view command, const RTMPStatus& status) {
  const std::string& description = status.description();
  if (contains(description, "reason=authfailed")) return std::nullopt;
  const auto url = platform::URL::make(command);
  if (!url) return std::nullopt;
  const auto user = url->user();
  const auto password = url->password();
  if (!user || !password) return std::nullopt;

  if (contains(description, "reason=needauth")) {
    if (challengeAnswered_) return std::nullopt;
    const auto parameters = challengeParameters(description);
    const auto salt = parameters.find("salt");
    if (salt == parameters.end()) return std::nullopt;
    const auto opaque = parameters.find("opaque");
    const auto challenge = parameters.find("challenge");
    std::string result(command);
    std::string opaqueOrChallenge;
    if (opaque != parameters.end()) {
      result += "&opaque=" + opaque->second;
      opaqueOrChallenge = opaque->second;
    } else if (challenge != parameters.end()) {
      opaqueOrChallenge = challenge->second;
    }
    const std::string ownChallenge = clientChallenge();
    result += "&challenge=" + ownChallenge + "&response=" +
              challengeResponse(*user, *password, salt->second, opaqueOrChallenge, ownChallenge);
    challengeAnswered_ = true;
    return result;
  }
  if (contains(description, "authmod=adobe")) {
    const auto query = url->query();
    if (authmodSent_ || (query && contains(*query, "authmod="))) return std::nullopt;
    authmodSent_ = true;
    return std::string(command) + (query ? (query->empty() ? "" : "&") : "?") + "authmod=adobe&user=" + *user;
  }
  return std::nullopt;
}

}  // namespace rtmpfluvio
