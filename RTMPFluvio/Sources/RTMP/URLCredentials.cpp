#include "RTMPFluvio/Sources/RTMP/URLCredentials.hpp"

#include <algorithm>
#include <optional>

namespace rtmpfluvio {

namespace {

std::optional<int> hexDigit(char character) {
  if (character >= '0' && character <= '9') return character - '0';
  if (character >= 'a' && character <= 'f') return character - 'a' + 10;
  if (character >= 'A' && character <= 'F') return character - 'A' + 10;
  return std::nullopt;
}

// Printable ASCII only, and every "%" followed by two hex digits.
bool parses(std::string_view url) {
  if (url.find(':') == std::string_view::npos) return false;
  for (std::size_t index = 0; index < url.size(); ++index) {
    const char character = url[index];
    if (character <= ' ' || character >= 0x7F) return false;
    if (character == '%' &&
        (index + 2 >= url.size() || !hexDigit(url[index + 1]) || !hexDigit(url[index + 2]))) {
      return false;
    }
  }
  return true;
}

// Only called on text that `parses` accepted.
std::string percentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t index = 0; index < text.size(); ++index) {
    if (text[index] == '%') {
      decoded.push_back(static_cast<char>(*hexDigit(text[index + 1]) * 16 + *hexDigit(text[index + 2])));
      index += 2;
    } else {
      decoded.push_back(text[index]);
    }
  }
  return decoded;
}

}  // namespace

std::string removingCredentials(std::string_view url) {
  const std::size_t authorityStart = url.find("//");
  const std::size_t schemeEnd = url.find(':');
  if (authorityStart == std::string_view::npos || schemeEnd == std::string_view::npos ||
      authorityStart != schemeEnd + 1) {
    return std::string(url);
  }
  const std::size_t hostSearchStart = authorityStart + 2;
  const std::size_t authorityEnd = std::min(url.find_first_of("/?#", hostSearchStart), url.size());
  const std::string_view authority = url.substr(hostSearchStart, authorityEnd - hostSearchStart);
  const std::size_t userInfoEnd = authority.rfind('@');
  if (userInfoEnd == std::string_view::npos) return std::string(url);
  std::string result(url.substr(0, hostSearchStart));
  result.append(url.substr(hostSearchStart + userInfoEnd + 1));
  return result;
}

std::map<std::string, std::string> queryDictionary(std::string_view url) {
  std::map<std::string, std::string> result;
  if (!parses(url)) return result;
  const std::size_t queryStart = url.find('?');
  if (queryStart == std::string_view::npos) return result;
  const std::string_view query = url.substr(queryStart + 1, url.find('#', queryStart) - queryStart - 1);
  std::size_t itemStart = 0;
  while (itemStart <= query.size()) {
    const std::size_t itemEnd = std::min(query.find('&', itemStart), query.size());
    const std::string_view item = query.substr(itemStart, itemEnd - itemStart);
    if (const std::size_t equals = item.find('='); equals != std::string_view::npos) {
      result.insert_or_assign(percentDecoded(item.substr(0, equals)), percentDecoded(item.substr(equals + 1)));
    }
    itemStart = itemEnd + 1;
  }
  return result;
}

}  // namespace rtmpfluvio
