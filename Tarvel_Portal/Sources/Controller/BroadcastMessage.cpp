#include "Tarvel_Portal/Sources/Controller/BroadcastMessage.hpp"

namespace tarvelportal {
namespace {

const std::string* stringField(const platform::WKScriptDictionary& fields, std::string_view name) {
  const auto field = fields.find(name);
  if (field == fields.end()) return nullptr;
  return std::get_if<std::string>(&field->second);
}

}  // namespace

BroadcastMessage decodeBroadcastMessage(const platform::WKScriptMessage& message) {
  if (message.name != kBroadcastHandlerName) return BroadcastIgnored{};
  const auto* fields = std::get_if<platform::WKScriptDictionary>(&message.body);
  if (fields == nullptr) return BroadcastIgnored{};
  const auto* type = stringField(*fields, "type");
  if (type == nullptr) return BroadcastIgnored{};
  if (*type == "armed") {
    const auto* url = stringField(*fields, "url");
    const auto* key = stringField(*fields, "key");
    if (url == nullptr || key == nullptr || url->empty() || key->empty()) return BroadcastIgnored{};
    return BroadcastArmed{*url, *key};
  }
  if (*type == "disarmed") return BroadcastDisarmed{};
  return BroadcastIgnored{};
}

std::optional<std::string_view> broadcastMessageFrameOrigin(const platform::WKScriptMessage& message) {
  const auto* fields = std::get_if<platform::WKScriptDictionary>(&message.body);
  if (fields == nullptr) return std::nullopt;
  const auto* origin = stringField(*fields, "frameOrigin");
  if (origin == nullptr) return std::nullopt;
  return *origin;
}

}  // namespace tarvelportal
