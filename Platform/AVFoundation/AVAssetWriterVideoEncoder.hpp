#pragma once

#include <functional>
#include <optional>

#include "Platform/AVFoundation/AVAssetWriterError.hpp"
#include "Platform/AVFoundation/AVOutputSettings.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/VideoToolbox/VTVideoEncoder.hpp"

namespace platform {

// Encodes pictures per the video output settings into H.264 or HEVC
// samples, which it hands on one by one. Pictures of another size are
// scaled to fit, keeping their aspect. Kept at one address: the encoder
// calls back into it.
class AVAssetWriterVideoEncoder {
 public:
  using Output = std::function<std::optional<AVAssetWriterError>(const CMSampleBuffer& encoded)>;

  AVAssetWriterVideoEncoder(const AVVideoOutputSettings& settings, bool realTime);
  AVAssetWriterVideoEncoder(const AVAssetWriterVideoEncoder&) = delete;
  AVAssetWriterVideoEncoder& operator=(const AVAssetWriterVideoEncoder&) = delete;

  // Samples the encoder makes during the call go to `output`; the first
  // error ends the call with it.
  std::optional<AVAssetWriterError> append(const CMSampleBuffer& sampleBuffer, const Output& output);
  // Hands on what the encoder still holds.
  std::optional<AVAssetWriterError> finish(const Output& output);

 private:
  void receive(OSStatus status, const std::shared_ptr<CMSampleBuffer>& sample);

  VTEncoderConfiguration configuration_;
  VTVideoEncoder encoder_;
  // Set for the length of one call.
  const Output* output_ = nullptr;
  std::optional<AVAssetWriterError> error_;
};

}  // namespace platform
