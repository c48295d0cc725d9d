#pragma once

#include <cstdint>
#include <exception>
#include <memory>

#include "Fluvio/Sources/Mixer/AudioNode.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"

namespace fluvio {

// The generic output unit that the graph is pulled through, one block of at
// most 1,024 frames into its one reused buffer.
class OutputNode final : public AudioNode {
 public:
  class Error : public std::exception {
   public:
    enum class Case { unableToRenderFrames, unableToAllocateBuffer };
    explicit Error(Case errorCase) : case_(errorCase) {}
    Case errorCase() const noexcept { return case_; }
    const char* what() const noexcept override {
      return case_ == Case::unableToRenderFrames ? "unableToRenderFrames" : "unableToAllocateBuffer";
    }

   private:
    Case case_;
  };

  static constexpr platform::AVAudioFrameCount bufferFrames = 1024;
  static const platform::AudioComponentDescription outputComponentDescription;

  explicit OutputNode(std::shared_ptr<platform::AVAudioFormat> format);

  // The buffer holds `frameCount` frames rendered at `sampleTime`; the same
  // object every time.
  const std::shared_ptr<platform::AVAudioPCMBuffer>& render(platform::AVAudioFrameCount frameCount,
                                                            std::int64_t sampleTime);

 private:
  std::shared_ptr<platform::AVAudioPCMBuffer> buffer_;
  platform::AudioTimeStamp timeStamp_{0, 0, platform::kAudioTimeStampSampleTimeValid};
};

}  // namespace fluvio
