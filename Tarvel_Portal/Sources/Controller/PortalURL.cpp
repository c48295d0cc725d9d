#include "Tarvel_Portal/Sources/Controller/PortalURL.hpp"

#include <glib.h>

#include <algorithm>
#include <memory>
#include <tuple>

namespace tarvelportal {
namespace {

struct UriDeleter {
  void operator()(GUri* uri) const { g_uri_unref(uri); }
};
using UriPointer = std::unique_ptr<GUri, UriDeleter>;

UriPointer parse(std::string_view text) {
  const std::string owned(text);
  return UriPointer(g_uri_parse(owned.c_str(), G_URI_FLAGS_NONE, nullptr));
}

bool isWebScheme(const char* scheme) {
  return g_ascii_strcasecmp(scheme, "https") == 0 || g_ascii_strcasecmp(scheme, "http") == 0;
}

std::string lowered(const char* text) {
  gchar* lower = g_ascii_strdown(text != nullptr ? text : "", -1);
  std::string result = lower;
  g_free(lower);
  return result;
}

// Scheme and host compare without case; an absent port is the scheme's own.
std::tuple<std::string, std::string, int> originOf(GUri* uri) {
  std::string scheme = lowered(g_uri_get_scheme(uri));
  int port = g_uri_get_port(uri);
  if (port == -1) port = scheme == "https" ? 443 : scheme == "http" ? 80 : -1;
  return {std::move(scheme), lowered(g_uri_get_host(uri)), port};
}

}  // namespace

std::optional<PortalURL> PortalURL::make(std::string_view text) {
  const auto uri = parse(text);
  if (!uri || !isWebScheme(g_uri_get_scheme(uri.get())) || g_uri_get_host(uri.get()) == nullptr ||
      *g_uri_get_host(uri.get()) == '\0') {
    return std::nullopt;
  }
  gchar* normalised = g_uri_to_string(uri.get());
  PortalURL url(normalised);
  g_free(normalised);
  return url;
}

std::optional<std::string> PortalURL::resolve(std::string_view reference) const {
  // Like a browser's address parser, no blanks or control characters.
  const bool wellFormed = std::none_of(reference.begin(), reference.end(), [](char character) {
    const auto byte = static_cast<unsigned char>(character);
    return byte <= 0x20 || byte == 0x7F;
  });
  if (reference.empty() || !wellFormed) return std::nullopt;
  const std::string owned(reference);
  gchar* resolved = g_uri_resolve_relative(text_.c_str(), owned.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (resolved == nullptr) return std::nullopt;
  std::string result = resolved;
  g_free(resolved);
  return result;
}

bool PortalURL::isSameOrigin(std::string_view url) const {
  const auto candidate = parse(url);
  if (!candidate || g_uri_get_host(candidate.get()) == nullptr) return false;
  return originOf(candidate.get()) == originOf(parse(text_).get());
}

}  // namespace tarvelportal
