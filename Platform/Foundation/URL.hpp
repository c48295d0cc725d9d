#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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
  // The last component with "." and `pathExtension` after it.
  URL appendingPathExtension(std::string_view pathExtension) const;

  // The URL as text, its path percent-encoded where needed.
  std::string absoluteString() const;

  friend bool operator==(const URL&, const URL&) = default;

 private:
  URL() = default;

  std::string scheme_;
  std::optional<std::string> authority_;
  std::string path_;
  std::string rest_;
};

}  // namespace platform
