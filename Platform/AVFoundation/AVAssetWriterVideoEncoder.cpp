#include "Platform/AVFoundation/AVAssetWriterVideoEncoder.hpp"

#include <string>
#include <utility>

namespace platform {

AVAssetWriterVideoEncoder::AVAssetWriterVideoEncoder(const AVVideoOutputSettings& settings, bool realTime)
    : encoder_(settings.width, settings.height) {
  configuration_.codecType = settings.codecType;
  configuration_.bitRate = settings.averageBitRate.value_or(0);
  configuration_.realTime = realTime;
  // Samples go into the file in the order they are made: decode order is
  // presentation order.
  configuration_.allowFrameReordering = false;
  configuration_.scalingMode = VTScalingMode::letterbox;
}

void AVAssetWriterVideoEncoder::receive(OSStatus status, const std::shared_ptr<CMSampleBuffer>& sample) {
  if (error_ || !output_) return;
  if (status != noErr) {
    error_ = AVAssetWriterError(AVAssetWriterError::Case::encodingFailed,
                                "the encoder failed with status " + std::to_string(status));
  } else if (sample) {
    error_ = (*output_)(*sample);
  }
}

std::optional<AVAssetWriterError> AVAssetWriterVideoEncoder::append(const CMSampleBuffer& sampleBuffer,
                                                                    const Output& output) {
  const auto& picture = sampleBuffer.imageBuffer();
  if (!picture) return AVAssetWriterError(AVAssetWriterError::Case::invalidSample, "the sample holds no picture");
  output_ = &output;
  error_.reset();
  encoder_.encode(
      *picture, sampleBuffer.presentationTimeStamp(), sampleBuffer.duration(), configuration_,
      [this](OSStatus status, VTEncodeInfoFlags, std::shared_ptr<CMSampleBuffer> sample) { receive(status, sample); });
  output_ = nullptr;
  return std::exchange(error_, std::nullopt);
}

std::optional<AVAssetWriterError> AVAssetWriterVideoEncoder::finish(const Output& output) {
  output_ = &output;
  error_.reset();
  encoder_.drain();
  output_ = nullptr;
  return std::exchange(error_, std::nullopt);
}

}  // namespace platform
