#pragma once

#include <memory>

#include "Fluvio/Sources/View/PreviewOutput.hpp"
#include "Platform/AVFoundation/AVSampleBufferDisplayLayer.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"

namespace fluvio {

// A preview backed by a sample-buffer display layer: every frame goes into
// the layer, which shows it by its own timing; the view draws nothing itself.
// Main actor only, but for the output calls.
class PiPFVView final : public PreviewOutput {
 public:
  // Shared by all views; read when a view wakes.
  static platform::CGColor defaultBackgroundColor();
  static void setDefaultBackgroundColor(platform::CGColor color);

  // Made and woken: the wake task applies the background colour and the gravity.
  static std::shared_ptr<PiPFVView> make(platform::Executor mainExecutor = platform::MainQueue::shared().executor());
  PiPFVView(Key key, platform::Executor mainExecutor);

  platform::AVSampleBufferDisplayLayer& layer() noexcept { return layer_; }
  const platform::CGColor& backgroundColor() const noexcept { return backgroundColor_; }
  platform::AVLayerVideoGravity videoGravity() const noexcept { return videoGravity_; }
  // Also the layer's, at once.
  void setVideoGravity(platform::AVLayerVideoGravity gravity);

 private:
  void awakeFromNib();
  void show(const platform::CMSampleBuffer& sampleBuffer) override;

  platform::AVLayerVideoGravity videoGravity_ = platform::AVLayerVideoGravity::resizeAspect;
  platform::CGColor backgroundColor_ = platform::CGColor::clear();
  platform::AVSampleBufferDisplayLayer layer_;
};

}  // namespace fluvio
