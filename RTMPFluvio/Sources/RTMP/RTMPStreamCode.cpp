#include "RTMPFluvio/Sources/RTMP/RTMPStreamCode.hpp"

#include <array>
#include <cstddef>

namespace rtmpfluvio {

namespace {

struct CodeEntry {
  std::string_view rawValue;
  std::string_view level;
};

constexpr std::string_view kStatus = "status";
constexpr std::string_view kError = "error";
constexpr std::string_view kWarning = "warning";

// In the order of the enumeration.
constexpr std::array<CodeEntry, 39> kEntries{{
    {"NetStream.Buffer.Empty", kStatus},
    {"NetStream.Buffer.Flush", kStatus},
    {"NetStream.Buffer.Full", kStatus},
    {"NetStream.Connect.Closed", kStatus},
    {"NetStream.Connect.Failed", kError},
    {"NetStream.Connect.Rejected", kError},
    {"NetStream.Connect.Success", kStatus},
    {"NetStream.DRM.UpdateNeeded", kStatus},
    {"NetStream.Failed", kError},
    {"NetStream.MulticastStream.Reset", kStatus},
    {"NetStream.Pause.Notify", kStatus},
    {"NetStream.Play.Failed", kError},
    {"NetStream.Play.FileStructureInvalid", kError},
    {"NetStream.Play.InsufficientBW", kWarning},
    {"NetStream.Play.NoSupportedTrackFound", kStatus},
    {"NetStream.Play.Reset", kStatus},
    {"NetStream.Play.Start", kStatus},
    {"NetStream.Play.Stop", kStatus},
    {"NetStream.Play.StreamNotFound", kError},
    {"NetStream.Play.Transition", kStatus},
    {"NetStream.Play.UnpublishNotify", kStatus},
    {"NetStream.Publish.BadName", kError},
    {"NetStream.Publish.Idle", kStatus},
    {"NetStream.Publish.Start", kStatus},
    {"NetStream.Record.AlreadyExists", kStatus},
    {"NetStream.Record.Failed", kError},
    {"NetStream.Record.NoAccess", kError},
    {"NetStream.Record.Start", kStatus},
    {"NetStream.Record.Stop", kStatus},
    {"NetStream.Record.DiskQuotaExceeded", kError},
    {"NetStream.SecondScreen.Start", kStatus},
    {"NetStream.SecondScreen.Stop", kStatus},
    {"NetStream.Seek.Failed", kError},
    {"NetStream.Seek.InvalidTime", kError},
    {"NetStream.Seek.Notify", kStatus},
    {"NetStream.Step.Notify", kStatus},
    {"NetStream.Unpause.Notify", kStatus},
    {"NetStream.Unpublish.Success", kStatus},
    {"NetStream.Video.DimensionChange", kStatus},
}};

const CodeEntry& entry(RTMPStreamCode code) noexcept { return kEntries[static_cast<std::size_t>(code)]; }

}  // namespace

std::string_view rawValue(RTMPStreamCode code) noexcept { return entry(code).rawValue; }

std::string_view level(RTMPStreamCode code) noexcept { return entry(code).level; }

template <>
std::optional<RTMPStreamCode> fromRawValue<RTMPStreamCode>(std::string_view rawValue) noexcept {
  for (std::size_t index = 0; index < kEntries.size(); ++index) {
    if (kEntries[index].rawValue == rawValue) return static_cast<RTMPStreamCode>(index);
  }
  return std::nullopt;
}

std::ostream& operator<<(std::ostream& stream, RTMPStreamCode code) { return stream << rawValue(code); }

}  // namespace rtmpfluvio
