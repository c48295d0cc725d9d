#pragma once

#include <memory>
#include <optional>

#include "Fluvio/Sources/Codec/AudioCodecSettings.hpp"
#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"
#include "Fluvio/Sources/Network/NetworkMonitorEvent.hpp"
#include "Fluvio/Sources/Network/StreamBitRateStrategy.hpp"
#include "Fluvio/Sources/Stream/MediaMixerOutput.hpp"
#include "Fluvio/Sources/Stream/SoundTransform.hpp"
#include "Fluvio/Sources/Stream/StreamOutput.hpp"
#include "Fluvio/Sources/Stream/StreamReadyState.hpp"
#include "Platform/AVFAudio/AVAudioBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

class AudioPlayer;

// A network stream: takes raw media, exposes its codec settings, ready state
// and sound transform, fans its media out to outputs and reacts to network
// events through a pluggable bit-rate strategy. Every requirement is awaited
// and runs on the stream's strand.
class StreamConvertible : public platform::Actor, public MediaMixerOutput {
 public:
  using platform::Actor::Actor;

  virtual platform::Async<StreamReadyState> readyState() = 0;
  // None while no audio player node plays the stream.
  virtual platform::Async<std::optional<SoundTransform>> soundTransform() = 0;
  virtual platform::Async<AudioCodecSettings> audioSettings() = 0;
  virtual platform::Async<VideoCodecSettings> videoSettings() = 0;

  // None removes the strategy.
  virtual platform::Async<void> setBitRateStrategy(std::shared_ptr<StreamBitRateStrategy> strategy) = 0;
  // Both throw what the codec's settings check throws.
  virtual platform::Async<void> setAudioSettings(AudioCodecSettings settings) = 0;
  virtual platform::Async<void> setVideoSettings(VideoCodecSettings settings) = 0;
  virtual platform::Async<void> setSoundTransform(SoundTransform soundTransform) = 0;
  // Bound of the raw video frames waiting for the encoder; below 1 is unbounded.
  virtual platform::Async<void> setVideoInputBufferCounts(int videoInputBufferCounts) = 0;

  // Uncompressed audio or video.
  virtual platform::Async<void> append(platform::CMSampleBuffer sampleBuffer) = 0;
  virtual platform::Async<void> append(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                                       std::shared_ptr<platform::AVAudioTime> when) = 0;

  // None detaches the player.
  virtual platform::Async<void> attachAudioPlayer(std::shared_ptr<AudioPlayer> audioPlayer) = 0;
  virtual platform::Async<void> addOutput(std::shared_ptr<StreamOutput> output) = 0;
  virtual platform::Async<void> removeOutput(std::shared_ptr<StreamOutput> output) = 0;

  virtual platform::Async<void> dispatch(NetworkMonitorEvent event) = 0;
};

}  // namespace fluvio
