#include "Platform/Foundation/URL.hpp"

#include <algorithm>
#include <cctype>

namespace platform {
namespace {

bool isSchemeCharacter(char character) {
  return std::isalnum(static_cast<unsigned char>(character)) || character == '+' || character == '-' ||
         character == '.';
}

// The scheme, when the text starts with one and its colon.
std::optional<std::string_view> schemeOf(std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  const auto scheme = text.substr(0, colon);
  if (!std::isalpha(static_cast<unsigned char>(scheme[0]))) return std::nullopt;
  if (!std::all_of(scheme.begin(), scheme.end(), isSchemeCharacter)) return std::nullopt;
  return scheme;
}

int hexValue(char character) {
  if (character >= '0' && character <= '9') return character - '0';
  if (character >= 'a' && character <= 'f') return character - 'a' + 10;
  if (character >= 'A' && character <= 'F') return character - 'A' + 10;
  return -1;
}

// A "%" not followed by two hex digits stays as written.
std::string percentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t index = 0; index < text.size(); ++index) {
    if (text[index] == '%' && index + 2 < text.size()) {
      const int high = hexValue(text[index + 1]);
      const int low = hexValue(text[index + 2]);
      if (high >= 0 && low >= 0) {
        decoded.push_back(static_cast<char>(high * 16 + low));
        index += 2;
        continue;
      }
    }
    decoded.push_back(text[index]);
  }
  return decoded;
}

bool isUnreservedInPath(unsigned char character) {
  return std::isalnum(character) ||
         std::string_view("-._~!$&'()*+,;=:@/").find(static_cast<char>(character)) != std::string_view::npos;
}

std::string percentEncodedPath(std::string_view path) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(path.size());
  for (const char character : path) {
    const auto byte = static_cast<unsigned char>(character);
    if (isUnreservedInPath(byte)) {
      encoded.push_back(character);
    } else {
      encoded.push_back('%');
      encoded.push_back(digits[byte >> 4]);
      encoded.push_back(digits[byte & 0x0F]);
    }
  }
  return encoded;
}

bool isAllowedInText(char character) {
  const auto byte = static_cast<unsigned char>(character);
  return byte > 0x20 && byte != 0x7F;
}

}  // namespace

std::optional<URL> URL::make(std::string_view text) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), isAllowedInText)) return std::nullopt;
  URL url;
  std::string_view remainder = text;
  if (const auto scheme = schemeOf(text)) {
    url.scheme_ = std::string(*scheme);
    remainder.remove_prefix(scheme->size() + 1);
  }
  const auto restStart = remainder.find_first_of("?#");
  if (restStart != std::string_view::npos) {
    url.rest_ = std::string(remainder.substr(restStart));
    remainder = remainder.substr(0, restStart);
  }
  if (remainder.starts_with("//")) {
    remainder.remove_prefix(2);
    const auto pathStart = std::min(remainder.find('/'), remainder.size());
    url.authority_ = std::string(remainder.substr(0, pathStart));
    remainder.remove_prefix(pathStart);
  }
  url.path_ = percentDecoded(remainder);
  return url;
}

URL URL::fileURL(const std::filesystem::path& path) {
  URL url;
  url.scheme_ = "file";
  url.authority_ = "";
  url.path_ = std::filesystem::absolute(path).lexically_normal().string();
  return url;
}

std::string URL::lastPathComponent() const {
  std::string_view path = path_;
  while (path.size() > 1 && path.ends_with('/')) path.remove_suffix(1);
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos || path.size() == 1) return std::string(path);
  return std::string(path.substr(slash + 1));
}

std::string URL::pathExtension() const {
  const std::string component = lastPathComponent();
  const auto dot = component.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  return component.substr(dot + 1);
}

URL URL::appendingPathComponent(std::string_view component) const {
  URL url = *this;
  while (component.starts_with('/')) component.remove_prefix(1);
  if (!url.path_.empty() && !url.path_.ends_with('/')) url.path_.push_back('/');
  url.path_.append(component);
  return url;
}

URL URL::replacingPath(std::string_view path) const {
  URL url = *this;
  url.path_ = std::string(path);
  url.rest_.clear();
  return url;
}

URL URL::appendingPathExtension(std::string_view pathExtension) const {
  URL url = *this;
  while (url.path_.size() > 1 && url.path_.ends_with('/')) url.path_.pop_back();
  url.path_.push_back('.');
  url.path_.append(pathExtension);
  return url;
}

std::optional<std::string_view> URL::userInfo() const {
  if (!authority_) return std::nullopt;
  const auto at = authority_->rfind('@');
  if (at == std::string::npos) return std::nullopt;
  return std::string_view(*authority_).substr(0, at);
}

std::optional<std::string_view> URL::hostAndPort() const {
  if (!authority_) return std::nullopt;
  const auto at = authority_->rfind('@');
  return std::string_view(*authority_).substr(at == std::string::npos ? 0 : at + 1);
}

std::optional<std::string> URL::user() const {
  const auto info = userInfo();
  if (!info) return std::nullopt;
  return percentDecoded(info->substr(0, info->find(':')));
}

std::optional<std::string> URL::password() const {
  const auto info = userInfo();
  if (!info) return std::nullopt;
  const auto colon = info->find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  return percentDecoded(info->substr(colon + 1));
}

std::optional<std::string> URL::host() const {
  auto text = hostAndPort();
  if (!text) return std::nullopt;
  if (text->starts_with('[')) {
    const auto close = text->find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return std::string(text->substr(1, close - 1));
  }
  return std::string(text->substr(0, text->find(':')));
}

std::optional<std::int64_t> URL::port() const {
  auto text = hostAndPort();
  if (!text) return std::nullopt;
  const auto start = text->starts_with('[') ? text->find(']') : 0;
  const auto colon = start == std::string_view::npos ? std::string_view::npos : text->find(':', start);
  if (colon == std::string_view::npos || colon + 1 == text->size()) return std::nullopt;
  const auto digits = text->substr(colon + 1);
  if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  return std::stoll(std::string(digits));
}

std::optional<std::string> URL::query() const {
  if (!rest_.starts_with('?')) return std::nullopt;
  return rest_.substr(1, rest_.find('#') == std::string::npos ? std::string::npos : rest_.find('#') - 1);
}

std::vector<std::string> URL::pathComponents() const {
  std::vector<std::string> components;
  if (path_.starts_with('/')) components.emplace_back("/");
  std::size_t start = 0;
  while (start < path_.size()) {
    const auto end = std::min(path_.find('/', start), path_.size());
    if (end > start) components.push_back(path_.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

std::string URL::absoluteString() const {
  std::string text;
  if (!scheme_.empty()) text = scheme_ + ":";
  if (authority_) text += "//" + *authority_;
  text += percentEncodedPath(path_);
  text += rest_;
  return text;
}

}  // namespace platform
