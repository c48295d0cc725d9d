#pragma once

#include <optional>
#include <ostream>
#include <string_view>

namespace rtmpfluvio {

// The status codes a net stream understands, each with the level a server
// sends it at.
enum class RTMPStreamCode {
  bufferEmpty,
  bufferFlush,
  bufferFull,
  connectClosed,
  connectFailed,
  connectRejected,
  connectSuccess,
  drmUpdateNeeded,
  failed,
  multicastStreamReset,
  pauseNotify,
  playFailed,
  playFileStructureInvalid,
  playInsufficientBW,
  playNoSupportedTrackFound,
  playReset,
  playStart,
  playStop,
  playStreamNotFound,
  playTransition,
  playUnpublishNotify,
  publishBadName,
  publishIdle,
  publishStart,
  recordAlreadyExists,
  recordFailed,
  recordNoAccess,
  recordStart,
  recordStop,
  recordDiskQuotaExceeded,
  secondScreenStart,
  secondScreenStop,
  seekFailed,
  seekInvalidTime,
  seekNotify,
  stepNotify,
  unpauseNotify,
  unpublishSuccess,
  videoDimensionChange,
};

// "NetStream.Play.Start" and so on.
std::string_view rawValue(RTMPStreamCode code) noexcept;
// "status", "error" or "warning".
std::string_view level(RTMPStreamCode code) noexcept;

template <class Enumeration>
std::optional<Enumeration> fromRawValue(std::string_view rawValue) noexcept;
// Exactly the 39 code strings name a case.
template <>
std::optional<RTMPStreamCode> fromRawValue<RTMPStreamCode>(std::string_view rawValue) noexcept;

std::ostream& operator<<(std::ostream& stream, RTMPStreamCode code);

}  // namespace rtmpfluvio
