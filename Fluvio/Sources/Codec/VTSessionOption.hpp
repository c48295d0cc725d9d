#pragma once

#include <cstddef>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <unordered_set>

#include "Platform/VideoToolbox/VTPropertyValue.hpp"

namespace fluvio {

// The name of a compression-session property. Any text is a key; the
// statics name the properties the codec sets.
struct VTSessionOptionKey {
  std::string rawValue;

  static const VTSessionOptionKey& profileLevel();
  static const VTSessionOptionKey& h264EntropyMode();
  static const VTSessionOptionKey& expectedFrameRate();
  static const VTSessionOptionKey& allowFrameReordering();
  static const VTSessionOptionKey& maxKeyFrameIntervalDuration();
  static const VTSessionOptionKey& pixelTransferProperties();
  static const VTSessionOptionKey& averageBitRate();
  static const VTSessionOptionKey& dataRateLimits();
  static const VTSessionOptionKey& realTime();
  static const VTSessionOptionKey& constantBitRate();
  static const VTSessionOptionKey& variableBitRate();

  friend bool operator==(const VTSessionOptionKey&, const VTSessionOptionKey&) = default;
};

// Encoded as the key's text alone.
void to_json(nlohmann::json& json, const VTSessionOptionKey& key);
void from_json(const nlohmann::json& json, VTSessionOptionKey& key);

// A property and the value to set it to. Options are the same option when
// their keys are, whatever the values: a set keeps one option per key.
struct VTSessionOption {
  VTSessionOptionKey key;
  platform::VTPropertyValue value;

  friend bool operator==(const VTSessionOption& lhs, const VTSessionOption& rhs) noexcept { return lhs.key == rhs.key; }
};

}  // namespace fluvio

template <>
struct std::hash<fluvio::VTSessionOptionKey> {
  std::size_t operator()(const fluvio::VTSessionOptionKey& key) const noexcept {
    return std::hash<std::string>{}(key.rawValue);
  }
};

template <>
struct std::hash<fluvio::VTSessionOption> {
  std::size_t operator()(const fluvio::VTSessionOption& option) const noexcept {
    return std::hash<fluvio::VTSessionOptionKey>{}(option.key);
  }
};

namespace fluvio {

// Inserting an option whose key is present keeps the present one.
using VTSessionOptionSet = std::unordered_set<VTSessionOption>;

}  // namespace fluvio
