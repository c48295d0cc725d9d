#include "Tarvel_Portal/Sources/App/BridgeScript.hpp"

#include <gio/gio.h>

#include "Tarvel_Portal/Sources/App/PortalResources.hpp"

namespace tarvelportal {

std::optional<std::string> loadBridgeScript() {
  registerPortalResources();
  GBytes* bytes = g_resources_lookup_data("/com/tarvel/Portal/BroadcastBridge.js", G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (bytes == nullptr) return std::nullopt;
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::optional<std::string> text;
  if (g_utf8_validate(data, static_cast<gssize>(size), nullptr)) text.emplace(data, size);
  g_bytes_unref(bytes);
  return text;
}

}  // namespace tarvelportal
