#pragma once

#include <memory>
#include <optional>

#include "Fluvio/Sources/Screen/ChromaKeyProcessable.hpp"
#include "Fluvio/Sources/Screen/ScreenObject.hpp"
#include "Fluvio/Sources/Stream/StreamOutput.hpp"
#include "Platform/AVFoundation/AVLayerVideoGravity.hpp"

namespace fluvio {

// Shows the latest video frame of a stream it is an output of.
class StreamScreenObject : public ScreenObject, public ChromaKeyProcessable, public StreamOutput {
 public:
  static std::shared_ptr<StreamScreenObject> make() { return std::make_shared<StreamScreenObject>(); }

  platform::AVLayerVideoGravity videoGravity() const noexcept { return videoGravity_; }
  void setVideoGravity(platform::AVLayerVideoGravity gravity);
  // Stores the frame on ScreenActor (posted from the stream's context).
  void stream(StreamConvertible& stream, const platform::CMSampleBuffer& sampleBuffer) override;
  void stream(StreamConvertible&, const std::shared_ptr<platform::AVAudioBuffer>&,
              const std::shared_ptr<platform::AVAudioTime>&) override {}
  // On ScreenActor: the frame on show; none clears it.
  void setSampleBuffer(std::optional<platform::CMSampleBuffer> sampleBuffer);

  bool isTranslucent() const override;
  ScreenObjectImage<platform::CIImage> makeCIImage(ScreenRenderer& renderer) override;
  ScreenObjectImage<platform::CGImage> makeCGImage(ScreenRenderer& renderer) override;
  platform::CGRect makeBounds(const platform::CGSize& size) override;

 private:
  platform::AVLayerVideoGravity videoGravity_ = platform::AVLayerVideoGravity::resizeAspect;
  std::optional<platform::CMSampleBuffer> sampleBuffer_;
  std::shared_ptr<platform::CGImage> bitmap_;  // the last picture, drawn over again while its size stays
};

}  // namespace fluvio
