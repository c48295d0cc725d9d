#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"

#include "Platform/Foundation/UserDefaults.hpp"

namespace tarvelportalbroadcast {
namespace {

std::string stringValue(const platform::UserDefaults::Values& values, std::string_view key) {
  const auto found = values.find(key);
  return found != values.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

void saveBroadcastConfig(std::string_view url, std::string_view key) {
  auto defaults = platform::UserDefaults::make(kAppGroupIdentifier);
  if (!defaults) return;
  defaults->update([&](platform::UserDefaults::Values& values) {
    values[std::string(kRTMPURLKey)] = std::string(url);
    values[std::string(kStreamKeyKey)] = std::string(key);
  });
}

void clearBroadcastConfig() {
  auto defaults = platform::UserDefaults::make(kAppGroupIdentifier);
  if (!defaults) return;
  defaults->update([](platform::UserDefaults::Values& values) {
    values.erase(std::string(kRTMPURLKey));
    values.erase(std::string(kStreamKeyKey));
  });
}

std::optional<BroadcastConfig> readBroadcastConfig() {
  const auto defaults = platform::UserDefaults::make(kAppGroupIdentifier);
  if (!defaults) return std::nullopt;
  const auto values = defaults->dictionaryRepresentation();
  if (!values) return std::nullopt;
  BroadcastConfig config{stringValue(*values, kRTMPURLKey), stringValue(*values, kStreamKeyKey)};
  if (config.url.empty() || config.key.empty()) return std::nullopt;
  return config;
}

}  // namespace tarvelportalbroadcast
