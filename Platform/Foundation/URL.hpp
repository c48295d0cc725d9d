#pragma once

#include <filesystem>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A location: a file on this machine (scheme "file") or any other URL, kept
// as scheme, authority, percent-decoded path and the rest (query and
// fragment) as written. Only what callers need of URL parsing is here.
class URL {
 public:
  // Nothing for empty text or text with spaces or control characters. Text
  // without a scheme is a relative URL whose path is the text.
  static std::optional<URL> make(std::string_view text);
  // A file URL of `path`, made absolute against the working directory.
  static URL fileURL(const std::filesystem::path& path);

  const std::string& scheme() const noexcept { return scheme_; }
  bool isFileURL() const noexcept { return scheme_ == "file"; }
  // Decoded.
  const std::string& path() const noexcept { return path_; }
  // The last path component's extension without the dot; empty when it has
  // none (".profile" has none).
  std::string pathExtension() const;
  std::string lastPathComponent() const;

  // The path with one more component, joined by a single slash.
  URL appendingPathComponent(std::string_view component) const;
  // The same scheme and authority with another path, without query and fragment.
  URL replacingPath(std::string_view path) const;
  // The last component with "." and `pathExtension` after it.
  URL appendingPathExtension(std::string_view pathExtension) const;

  // The parts of the authority "user:password@host:port". User and password
  // are percent-decoded; the host is as written (an IPv6 host without its
  // brackets). A port that is not a decimal number reads as -1.
  std::optional<std::string> user() const;
  std::optional<std::string> password() const;
  std::optional<std::string> host() const;
  std::optional<std::int64_t> port() const;
  // The query as written (percent-encoded), without "?" and the fragment.
  std::optional<std::string> query() const;
  // "/" for an absolute path, then each decoded component; empty ones skipped.
  std::vector<std::string> pathComponents() const;

  // The URL as text, its path percent-encoded where needed.
  std::string absoluteString() const;

  friend bool operator==(const URL&, const URL&) = default;

 private:
  URL() = default;

  // The user information before "@" and the host and port after it.
  std::optional<std::string_view> userInfo() const;
  std::optional<std::string_view> hostAndPort() const;

  std::string scheme_;
  std::optional<std::string> authority_;
  std::string path_;
  std::string rest_;
};

}  // namespace platform
