#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "Fluvio/Sources/Stream/StreamConvertible.hpp"

namespace fluvio {

class IncomingStream;
class OutgoingStream;

// A stream built on an incoming and an outgoing stream. It supplies the
// requirements of StreamConvertible that follow from those two halves, so a
// conformer writes only its transport's own: readyState, setAudioSettings,
// setVideoSettings, both appends and dispatch. Each accessor below is read
// and written on the conformer's strand.
class Stream_ : public StreamConvertible {
 public:
  using StreamConvertible::StreamConvertible;

  virtual std::shared_ptr<IncomingStream> incoming() const = 0;
  virtual OutgoingStream& outgoing() = 0;
  virtual std::vector<std::shared_ptr<StreamOutput>>& outputs() = 0;
  virtual std::shared_ptr<StreamBitRateStrategy>& bitRateStrategy() = 0;

  // The defaults (the stream composition), defined in Stream_.cpp.
  platform::Async<std::optional<SoundTransform>> soundTransform() override;
  platform::Async<AudioCodecSettings> audioSettings() override;
  platform::Async<VideoCodecSettings> videoSettings() override;
  platform::Async<void> setBitRateStrategy(std::shared_ptr<StreamBitRateStrategy> strategy) override;
  platform::Async<void> setSoundTransform(SoundTransform soundTransform) override;
  platform::Async<void> setVideoInputBufferCounts(int videoInputBufferCounts) override;
  platform::Async<void> attachAudioPlayer(std::shared_ptr<AudioPlayer> audioPlayer) override;
  // Outputs are kept once each, compared by identity.
  platform::Async<void> addOutput(std::shared_ptr<StreamOutput> output) override;
  platform::Async<void> removeOutput(std::shared_ptr<StreamOutput> output) override;
};

}  // namespace fluvio
