#include "RTMPFluvio/Sources/RTMP/RTMPConnectionCode.hpp"

#include <array>
#include <utility>

namespace rtmpfluvio {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 11> kCodes{{
    {"NetConnection.Call.BadVersion", "error"},
    {"NetConnection.Call.Failed", "error"},
    {"NetConnection.Call.Prohibited", "error"},
    {"NetConnection.Connect.AppShutdown", "error"},
    {"NetConnection.Connect.Closed", "status"},
    {"NetConnection.Connect.Failed", "error"},
    {"NetConnection.Connect.IdleTimeOut", "status"},
    {"NetConnection.Connect.InvalidApp", "error"},
    {"NetConnection.Connect.NetworkChange", "status"},
    {"NetConnection.Connect.Rejected", "error"},
    {"NetConnection.Connect.Success", "status"},
}};

}  // namespace

std::string_view rawValue(RTMPConnectionCode code) noexcept { return kCodes[static_cast<std::size_t>(code)].first; }

std::string_view level(RTMPConnectionCode code) noexcept { return kCodes[static_cast<std::size_t>(code)].second; }

std::optional<RTMPConnectionCode> connectionCode(std::string_view rawValue) noexcept {
  for (std::size_t index = 0; index < kCodes.size(); ++index) {
    if (kCodes[index].first == rawValue) return static_cast<RTMPConnectionCode>(index);
  }
  return std::nullopt;
}

RTMPStatus makeStatus(RTMPConnectionCode code, std::string description) {
  return RTMPStatus(std::string(rawValue(code)), std::string(level(code)), std::move(description));
}

}  // namespace rtmpfluvio
