#pragma once

#include <cstdint>
#include <optional>

#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/VideoToolbox/VTEncoderConfiguration.hpp"

namespace platform {

// The time stamps an encoder is given and when its next key frame is due.
class VTFrameClock {
 public:
  // Encoder time stamps count in 90 kHz ticks, whatever the frames' timescales.
  static constexpr int ticksPerSecond = 90000;

  // The frame's stamp in ticks, always above the last one: the encoder
  // needs rising stamps.
  std::int64_t timeStampOf(const CMTime& presentationTimeStamp);
  // True when the frame must be a key frame: the first one, one requested,
  // or the one the next frame would come too late after. Takes the request.
  bool needsKeyFrame(const CMTime& presentationTimeStamp, const CMTime& duration,
                     std::optional<double> maxKeyFrameIntervalDuration);
  // The next frame is made a key frame, whenever it comes.
  void requestKeyFrame() { keyFrameRequested_ = true; }
  // A key frame the encoder hands back late, behind frames already given to
  // it, does not move the clock back: that would force another too soon.
  void keyFrameAt(const CMTime& presentationTimeStamp);
  // A new encoder starts with a key frame.
  void restart() { lastKeyFrameSeconds_.reset(); }

 private:
  std::optional<std::int64_t> lastTimeStamp_;
  std::optional<double> lastKeyFrameSeconds_;
  bool keyFrameRequested_ = false;
};

// The frame rate to plan for: the expected one, else 30.
double frameRate(const VTEncoderConfiguration& configuration);
// The most frames between key frames that the configuration allows.
int keyFrameInterval(const VTEncoderConfiguration& configuration);

}  // namespace platform
