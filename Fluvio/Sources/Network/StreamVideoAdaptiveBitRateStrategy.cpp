#include "Fluvio/Sources/Network/StreamVideoAdaptiveBitRateStrategy.hpp"

#include <algorithm>
#include <exception>
#include <limits>
#include <utility>

#include "Fluvio/Sources/Stream/StreamConvertible.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"

namespace fluvio {

namespace {

// A failed change leaves the counters as a successful one would.
platform::Async<void> apply(StreamConvertible& stream, VideoCodecSettings settings) {
  try {
    co_await stream.setVideoSettings(std::move(settings));
  } catch (const std::exception& error) {
    TP_WARN(logger(), "video settings not applied: ", error.what());
  }
}

// Bits per second, saturating instead of overflowing on absurd byte counts.
std::int64_t bitsPerSecond(std::int64_t bytesPerSecond) {
  constexpr auto limit = std::numeric_limits<std::int64_t>::max() / 8;
  return bytesPerSecond > limit ? std::numeric_limits<std::int64_t>::max() : bytesPerSecond * 8;
}

}  // namespace

std::shared_ptr<StreamVideoAdaptiveBitRateStrategy> StreamVideoAdaptiveBitRateStrategy::make(
    std::int64_t mamimumVideoBitrate) {
  return Actor::make<StreamVideoAdaptiveBitRateStrategy>(mamimumVideoBitrate);
}

platform::Async<void> StreamVideoAdaptiveBitRateStrategy::adjustBitrate(NetworkMonitorEvent event,
                                                                        std::shared_ptr<StreamConvertible> stream) {
  return isolated([this, event = std::move(event), stream = std::move(stream)]() mutable {
    return adjust(std::move(event), std::move(stream));
  });
}

platform::Async<void> StreamVideoAdaptiveBitRateStrategy::adjust(NetworkMonitorEvent event,
                                                                 std::shared_ptr<StreamConvertible> stream) {
  if (!stream) co_return;
  switch (event.eventCase()) {
    case NetworkMonitorEvent::Case::status:
      co_await onStatus(*event.report(), *stream);
      break;
    case NetworkMonitorEvent::Case::publishInsufficientBWOccured:
      co_await onInsufficientBandwidth(*event.report(), *stream);
      break;
    case NetworkMonitorEvent::Case::reset:
      co_await onReset(*stream);
      break;
  }
}

platform::Async<void> StreamVideoAdaptiveBitRateStrategy::onStatus(const NetworkMonitorReport& report,
                                                                   StreamConvertible& stream) {
  auto settings = co_await stream.videoSettings();
  const bool restored = restoreFrameIntervalWhenFlowing(report, settings);
  if (settings.bitRate != mamimumVideoBitRate_ && sufficientBWCounts_ >= statusCountsThreshold) {
    // Written so that neither sum can overflow; a rate above the maximum comes down to it.
    const auto step = mamimumVideoBitRate_ / 10;
    settings.bitRate = settings.bitRate < mamimumVideoBitRate_ && mamimumVideoBitRate_ - settings.bitRate > step
                           ? settings.bitRate + step
                           : mamimumVideoBitRate_;
    sufficientBWCounts_ = 0;
    co_await apply(stream, std::move(settings));
    co_return;
  }
  if (settings.bitRate != mamimumVideoBitRate_) ++sufficientBWCounts_;
  if (restored) co_await apply(stream, std::move(settings));
}

platform::Async<void> StreamVideoAdaptiveBitRateStrategy::onInsufficientBandwidth(const NetworkMonitorReport& report,
                                                                                  StreamConvertible& stream) {
  sufficientBWCounts_ = 0;
  auto settings = co_await stream.videoSettings();
  const auto audioSettings = co_await stream.audioSettings();
  if (report.currentBytesOutPerSecond > 0) {
    // The measured rate shared out over the stalled seconds before it, less
    // the audio; between a tenth of the maximum and the maximum.
    const auto candidate =
        bitsPerSecond(report.currentBytesOutPerSecond) / (zeroBytesOutPerSecondCounts_ + 1) - audioSettings.bitRate;
    settings.bitRate = std::min(std::max(candidate, mamimumVideoBitRate_ / 10), mamimumVideoBitRate_);
    restoreFrameIntervalWhenFlowing(report, settings);
    sufficientBWCounts_ = 0;
    zeroBytesOutPerSecondCounts_ = 0;
    co_await apply(stream, std::move(settings));
    co_return;
  }
  // Nothing left the socket: keep the rate, and at the third and fifth such
  // report in a row slow the frames to about 10 and then 5 per second.
  if (!frameIntervalBeforeStall_) frameIntervalBeforeStall_ = settings.frameInterval;
  if (zeroBytesOutPerSecondCounts_ == 2) settings.frameInterval = VideoCodecSettings::frameInterval10;
  if (zeroBytesOutPerSecondCounts_ == 4) settings.frameInterval = VideoCodecSettings::frameInterval05;
  ++zeroBytesOutPerSecondCounts_;
  co_await apply(stream, std::move(settings));
}

platform::Async<void> StreamVideoAdaptiveBitRateStrategy::onReset(StreamConvertible& stream) {
  auto settings = co_await stream.videoSettings();
  zeroBytesOutPerSecondCounts_ = 0;
  settings.bitRate = mamimumVideoBitRate_;
  co_await apply(stream, std::move(settings));
}

bool StreamVideoAdaptiveBitRateStrategy::restoreFrameIntervalWhenFlowing(const NetworkMonitorReport& report,
                                                                         VideoCodecSettings& settings) {
  if (report.currentBytesOutPerSecond <= 0 || !frameIntervalBeforeStall_) return false;
  settings.frameInterval = *std::exchange(frameIntervalBeforeStall_, std::nullopt);
  return true;
}

}  // namespace fluvio
