#pragma once

#include <memory>

#include "Platform/AVFAudio/AVAudioBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

class StreamConvertible;

// A receiver of a stream's media. The stream calls it on its own strand; the
// stream reference is valid for the call only.
class StreamOutput {
 public:
  virtual ~StreamOutput() = default;

  virtual void stream(StreamConvertible& stream, const std::shared_ptr<platform::AVAudioBuffer>& audioBuffer,
                      const std::shared_ptr<platform::AVAudioTime>& when) = 0;
  virtual void stream(StreamConvertible& stream, const platform::CMSampleBuffer& sampleBuffer) = 0;
};

}  // namespace fluvio
