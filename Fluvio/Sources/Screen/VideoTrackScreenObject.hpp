#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "Fluvio/Sources/Screen/ChromaKeyProcessable.hpp"
#include "Fluvio/Sources/Screen/ScreenObject.hpp"
#include "Fluvio/Sources/Screen/VideoEffects.hpp"
#include "Fluvio/Sources/Util/FrameTracker.hpp"
#include "Fluvio/Sources/Util/TypedBlockQueue.hpp"
#include "Platform/AVFoundation/AVLayerVideoGravity.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/SharedObjectRecycler.hpp"

namespace fluvio {

// Shows one capture track of the mixer: frames wait in a small queue ordered
// by presentation time, and each composed frame shows the newest one due.
class VideoTrackScreenObject : public ScreenObject, public ChromaKeyProcessable {
 public:
  static constexpr std::size_t queueCapacity = 3;

  // Centred horizontally.
  static std::shared_ptr<VideoTrackScreenObject> make();
  VideoTrackScreenObject();

  std::uint8_t track() const noexcept { return track_; }
  void setTrack(std::uint8_t track);
  platform::AVLayerVideoGravity videoGravity() const noexcept { return videoGravity_; }
  void setVideoGravity(platform::AVLayerVideoGravity gravity);
  int frameRate() const noexcept { return frameTracker_.frameRate; }

  // False when the same effect is already registered.
  bool registerVideoEffect(const std::shared_ptr<VideoEffect>& effect) { return effects_.registerVideoEffect(effect); }
  // False when it is not registered.
  bool unregisterVideoEffect(const std::shared_ptr<VideoEffect>& effect) {
    return effects_.unregisterVideoEffect(effect);
  }

  // A frame of this object's track; a frame that does not fit the queue is dropped.
  void enqueue(const platform::CMSampleBuffer& sampleBuffer);
  // Forgets the queued frames, the frame count and the picture on show, so a
  // later run starts blank rather than on a frame of the one before.
  void reset();

  bool isTranslucent() const override;
  ScreenObjectImage<platform::CIImage> makeCIImage(ScreenRenderer& renderer) override;
  ScreenObjectImage<platform::CGImage> makeCGImage(ScreenRenderer& renderer) override;
  platform::CGRect makeBounds(const platform::CGSize& size) override;
  void draw(ScreenRenderer& renderer) override;

 private:
  std::uint8_t track_ = 0;
  platform::AVLayerVideoGravity videoGravity_ = platform::AVLayerVideoGravity::resizeAspect;
  std::optional<TypedBlockQueue<platform::CMSampleBuffer>> queue_;
  platform::SharedObjectRecycler<platform::CMSampleBuffer> queuedFrames_;  // what queue_ holds, kept for reuse
  std::shared_ptr<platform::CGImage> bitmap_;  // the last picture, drawn over again while its size stays
  bool isShowing_ = false;                     // a frame has been taken since the start or the last reset
  VideoEffects effects_;
  FrameTracker frameTracker_;
};

}  // namespace fluvio
