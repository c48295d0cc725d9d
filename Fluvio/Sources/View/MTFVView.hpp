#pragma once

#include <memory>

#include "Fluvio/Sources/Screen/VideoEffects.hpp"
#include "Fluvio/Sources/View/PreviewOutput.hpp"
#include "Platform/AVFoundation/AVLayerVideoGravity.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"
#include "Platform/CoreImage/CIContext.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace fluvio {

// A preview that keeps only the newest frame and draws it on demand into a
// drawable (a 32-bit ARGB buffer the toolkit widget shows), fitted by the
// video gravity and passed through the registered effects. It redraws only
// when a frame arrives. Main actor only, but for the output calls.
class MTFVView final : public PreviewOutput {
 public:
  static std::shared_ptr<MTFVView> make(platform::Executor mainExecutor = platform::MainQueue::shared().executor());
  MTFVView(Key key, platform::Executor mainExecutor);

  platform::AVLayerVideoGravity videoGravity() const noexcept { return videoGravity_; }
  // Takes effect at the next draw.
  void setVideoGravity(platform::AVLayerVideoGravity gravity) { videoGravity_ = gravity; }

  bool registerVideoEffect(const std::shared_ptr<VideoEffect>& effect) { return effects_.registerVideoEffect(effect); }
  bool unregisterVideoEffect(const std::shared_ptr<VideoEffect>& effect) {
    return effects_.unregisterVideoEffect(effect);
  }

  // Clears the drawable to opaque black, then draws the newest frame into it.
  void draw(platform::CVPixelBuffer& drawable);

 private:
  void show(const platform::CMSampleBuffer& sampleBuffer) override;

  platform::AVLayerVideoGravity videoGravity_ = platform::AVLayerVideoGravity::resizeAspect;
  platform::CIImage::Pointer displayImage_;
  std::shared_ptr<platform::CIContext> context_;
  VideoEffects effects_;
};

}  // namespace fluvio
