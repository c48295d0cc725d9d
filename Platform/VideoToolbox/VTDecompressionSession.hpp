#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"
#include "Platform/VideoToolbox/VTPropertyValue.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace platform {

// Decodes H.264 or HEVC samples (length-prefixed units, parameter sets in the
// format description) into pixel buffers of the requested format, 4:2:0
// bi-planar video range unless asked otherwise, drawn from a pool. Decoding
// runs on the session's own thread; pictures come out in presentation order.
class VTDecompressionSession {
 public:
  // The image buffer is absent when the frame was dropped or failed.
  using OutputHandler = std::function<void(OSStatus status, VTDecodeInfoFlags infoFlags,
                                           std::shared_ptr<CVPixelBuffer> imageBuffer,
                                           const CMTime& presentationTimeStamp, const CMTime& presentationDuration)>;

  static StatusOr<VTDecompressionSession> make(std::shared_ptr<const CMFormatDescription> videoFormatDescription,
                                               const VTPropertyDictionary* decoderSpecification,
                                               const std::optional<CVPixelBufferAttributes>& destinationImageBufferAttributes);
  ~VTDecompressionSession();

  VTDecompressionSession(const VTDecompressionSession&) = delete;
  VTDecompressionSession& operator=(const VTDecompressionSession&) = delete;

  // This decoder takes no properties: kVTPropertyNotSupportedErr.
  OSStatus setProperty(std::string_view key, const VTPropertyValue& value);
  OSStatus setProperties(const VTPropertyDictionary& properties);

  // Without kVTDecodeFrame_EnableAsynchronousDecompression the call returns
  // once the sample is decoded (refused on a pool thread, see
  // VTSessionWorker); with it, a pool caller awaits room() first. A stream
  // with reordered frames holds pictures back until later samples (or
  // finishDelayedFrames) release them.
  OSStatus decodeFrame(const CMSampleBuffer& sampleBuffer, VTDecodeFrameFlags decodeFlags, OutputHandler outputHandler);
  // Resumes once the session has room for another sample, or has ended.
  Async<void> room();
  // Returns once every submitted sample is decoded. Refused on a pool thread.
  OSStatus waitForAsynchronousFrames();
  // Emits the pictures the decoder still holds back, then waits for them.
  // Refused on a pool thread.
  OSStatus finishDelayedFrames();
  // Emits the pictures of every sample submitted so far, then calls
  // `completed` on the session's thread and ends the session. Returns at once.
  void finishDelayedFramesThenInvalidate(std::function<void()> completed);
  void invalidate();

 private:
  struct State;

  explicit VTDecompressionSession(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
};

}  // namespace platform
