#pragma once

#include "Platform/VideoToolbox/VTCompressionSession.hpp"
#include "Platform/VideoToolbox/VTEncoderConfiguration.hpp"

namespace platform {

// The encoder behind a compression session, one per codec. Used by one
// thread at a time.
class VTFrameEncoder {
 public:
  using OutputHandler = VTCompressionSession::OutputHandler;

  virtual ~VTFrameEncoder() = default;

  virtual OSStatus open(const VTEncoderConfiguration& configuration) = 0;
  // Encodes one frame with `configuration`; a configuration other than the
  // running one reopens the encoder first. Each frame's handler is called
  // once, with its sample or as dropped.
  virtual void encode(CVPixelBuffer& imageBuffer, const CMTime& presentationTimeStamp, const CMTime& duration,
                      const VTEncoderConfiguration& configuration, OutputHandler outputHandler) = 0;
  // Makes the next frame encoded a key frame.
  virtual void requestKeyFrame() = 0;
  // Emits every frame the encoder holds and closes it; the next frame reopens it.
  virtual void drain() = 0;
};

}  // namespace platform
