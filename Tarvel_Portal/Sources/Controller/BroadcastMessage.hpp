#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "Platform/WebKit/WKScriptMessage.hpp"

namespace tarvelportal {

inline constexpr std::string_view kBroadcastHandlerName = "tarvelBroadcast";

// What the page asked for: publish to `url` under `key`, or forget the stream.
struct BroadcastArmed {
  std::string url;
  std::string key;
  friend bool operator==(const BroadcastArmed&, const BroadcastArmed&) = default;
};
struct BroadcastDisarmed {
  friend bool operator==(BroadcastDisarmed, BroadcastDisarmed) = default;
};
// A message that asks for nothing we know: wrong handler, malformed, or an
// unknown type.
struct BroadcastIgnored {
  friend bool operator==(BroadcastIgnored, BroadcastIgnored) = default;
};
using BroadcastMessage = std::variant<BroadcastIgnored, BroadcastArmed, BroadcastDisarmed>;

BroadcastMessage decodeBroadcastMessage(const platform::WKScriptMessage& message);

// The origin of the frame that posted the message, as the bridge's relay read
// it; none when the message does not carry one.
std::optional<std::string_view> broadcastMessageFrameOrigin(const platform::WKScriptMessage& message);

}  // namespace tarvelportal
