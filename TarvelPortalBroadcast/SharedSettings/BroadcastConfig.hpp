#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvelportalbroadcast {

// The app group that the portal app and the broadcast extension share; its
// defaults suite is their only link.
inline constexpr std::string_view kAppGroupIdentifier = "group.com.tarvel.portal";
inline constexpr std::string_view kRTMPURLKey = "tarvel.broadcast.rtmpURL";
inline constexpr std::string_view kStreamKeyKey = "tarvel.broadcast.streamKey";

// The ingest that the page armed: where to publish and under which name.
struct BroadcastConfig {
  std::string url;
  std::string key;
};

// Each operation opens the shared suite for itself and does nothing when it
// cannot be opened. Saving and clearing change both values in one locked
// step, so a reader never sees the URL of one pair with the key of another.
void saveBroadcastConfig(std::string_view url, std::string_view key);
void clearBroadcastConfig();
// Both values, read at once; nothing when either is missing or empty.
std::optional<BroadcastConfig> readBroadcastConfig();

}  // namespace tarvelportalbroadcast
