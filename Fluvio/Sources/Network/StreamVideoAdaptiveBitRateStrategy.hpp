#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"
#include "Fluvio/Sources/Network/NetworkMonitorEvent.hpp"
#include "Fluvio/Sources/Network/StreamBitRateStrategy.hpp"
#include "Platform/Concurrency/Actor.hpp"

namespace fluvio {

// Lowers a stream's video bit rate to what leaves the socket while its send
// queue keeps growing, slows the frame rate while nothing leaves at all, and
// climbs back towards the maximum in steps after a run of calm reports. Only
// the video settings are changed; a failed change is ignored.
class StreamVideoAdaptiveBitRateStrategy : public platform::Actor, public StreamBitRateStrategy {
 public:
  // Calm reports counted before the next step up.
  static constexpr std::int64_t statusCountsThreshold = 15;

  StreamVideoAdaptiveBitRateStrategy(Key key, std::int64_t mamimumVideoBitrate)
      : Actor(key), mamimumVideoBitRate_(mamimumVideoBitrate) {}
  static std::shared_ptr<StreamVideoAdaptiveBitRateStrategy> make(std::int64_t mamimumVideoBitrate);

  std::int64_t mamimumVideoBitRate() const noexcept override { return mamimumVideoBitRate_; }
  std::int64_t mamimumAudioBitRate() const noexcept override { return 0; }

  platform::Async<void> adjustBitrate(NetworkMonitorEvent event, std::shared_ptr<StreamConvertible> stream) override;

 private:
  platform::Async<void> adjust(NetworkMonitorEvent event, std::shared_ptr<StreamConvertible> stream);
  platform::Async<void> onStatus(const NetworkMonitorReport& report, StreamConvertible& stream);
  platform::Async<void> onInsufficientBandwidth(const NetworkMonitorReport& report, StreamConvertible& stream);
  platform::Async<void> onReset(StreamConvertible& stream);
  // Puts back the frame interval from before a stall once bytes leave again.
  bool restoreFrameIntervalWhenFlowing(const NetworkMonitorReport& report, VideoCodecSettings& settings);

  const std::int64_t mamimumVideoBitRate_;
  std::int64_t sufficientBWCounts_ = 0;
  std::int64_t zeroBytesOutPerSecondCounts_ = 0;
  std::optional<double> frameIntervalBeforeStall_;
};

}  // namespace fluvio
