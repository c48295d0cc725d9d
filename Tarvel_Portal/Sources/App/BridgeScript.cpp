#include "Tarvel_Portal/Sources/App/BridgeScript.hpp"

#include <gio/gio.h>

#include "Tarvel_Portal/Sources/App/PortalResources.hpp"

namespace tarvelportal {
namespace {

std::optional<std::string> loadResourceText(const char* path) {
  GBytes* bytes = g_resources_lookup_data(path, G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (bytes == nullptr) return std::nullopt;
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::optional<std::string> text;
  if (g_utf8_validate(data, static_cast<gssize>(size), nullptr)) text.emplace(data, size);
  g_bytes_unref(bytes);
  return text;
}

}  // namespace

std::optional<BroadcastBridgeScripts> loadBridgeScript() {
  registerPortalResources();
  auto page = loadResourceText("/com/tarvel/Portal/BroadcastBridgePage.js");
  auto relay = loadResourceText("/com/tarvel/Portal/BroadcastBridge.js");
  if (!page || !relay) return std::nullopt;
  return BroadcastBridgeScripts{std::move(*page), std::move(*relay)};
}

}  // namespace tarvelportal
