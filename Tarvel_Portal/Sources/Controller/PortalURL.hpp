#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvelportal {

// The portal's start URL: the site root that pages are loaded relative to and
// whose origin (scheme, host, port) alone may talk to the app.
class PortalURL {
 public:
  // Nothing unless `text` is an absolute http(s) URL with a host.
  static std::optional<PortalURL> make(std::string_view text);

  const std::string& absoluteString() const noexcept { return text_; }
  // `reference` resolved against the start URL; nothing when no URL can be formed.
  std::optional<std::string> resolve(std::string_view reference) const;
  // Whether `url` has the start URL's scheme, host and port.
  bool isSameOrigin(std::string_view url) const;

 private:
  explicit PortalURL(std::string text) : text_(std::move(text)) {}

  std::string text_;
};

}  // namespace tarvelportal
