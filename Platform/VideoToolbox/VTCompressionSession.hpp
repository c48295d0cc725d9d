#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/InlineFunction.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"
#include "Platform/VideoToolbox/VTPropertyValue.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace platform {

// Encodes pictures to H.264 or HEVC. Frames are encoded in submission order on
// the session's own thread, which also runs each frame's output handler with a
// sample buffer of 4-byte length-prefixed NAL units; the parameter sets travel
// in its format description, and frames other than key frames are marked
// not-sync. Properties may be changed while frames are encoded: they take
// effect from the next frame submitted, which the encoder, restarted with
// them, makes a key frame.
class VTCompressionSession {
 public:
  // The sample buffer is absent when the frame was dropped or failed. One is
  // made per frame: kept in place, it costs no heap block.
  using OutputHandler =
      InlineFunction<void(OSStatus status, VTEncodeInfoFlags infoFlags, std::shared_ptr<CMSampleBuffer> sampleBuffer)>;

  // A session for `codecType` (H.264 or HEVC) pictures of width x height. The
  // entries of `encoderSpecification` are accepted and ignored; the source
  // attributes name the pixel format frames are expected in (any supported
  // format is taken).
  static StatusOr<VTCompressionSession> make(std::int32_t width, std::int32_t height, CMVideoCodecType codecType,
                                             const VTPropertyDictionary* encoderSpecification,
                                             const std::optional<CVPixelBufferAttributes>& sourceImageBufferAttributes);
  ~VTCompressionSession();

  VTCompressionSession(const VTCompressionSession&) = delete;
  VTCompressionSession& operator=(const VTCompressionSession&) = delete;

  // kVTPropertyNotSupportedErr for a key this encoder does not know,
  // kVTParameterErr for a value it cannot take; nothing is changed then.
  OSStatus setProperty(std::string_view key, const VTPropertyValue& value);
  // Every entry, or none when any fails.
  OSStatus setProperties(const VTPropertyDictionary& properties);
  std::optional<VTPropertyValue> copyProperty(std::string_view key) const;

  // Opens the encoder with the current properties: on the calling thread
  // before the first frame, else on the session's thread, waiting for it
  // (refused on a pool thread, see VTSessionWorker).
  OSStatus prepareToEncodeFrames();
  // Queues one picture. Off the pool it blocks while the session already
  // holds several; a pool caller awaits room() first.
  OSStatus encodeFrame(std::shared_ptr<CVPixelBuffer> imageBuffer, const CMTime& presentationTimeStamp,
                       const CMTime& duration, OutputHandler outputHandler);
  // Makes the next picture submitted a key frame, and only that one; a
  // picture queued before is left as it is. Safe on any thread.
  void requestKeyFrame();
  // Resumes once the session has room for another frame, or has ended.
  Async<void> room();
  // Returns once every frame submitted so far has been emitted, draining the
  // encoder (the next frame starts with a key frame). Refused on a pool thread.
  OSStatus completeFrames();
  // Emits every frame submitted so far, then calls `completed` on the
  // session's thread and ends the session. Returns at once.
  void completeFramesThenInvalidate(std::function<void()> completed);
  // Drops queued frames and ends the session; later calls fail with
  // kVTInvalidSessionErr.
  void invalidate();

 private:
  struct State;

  explicit VTCompressionSession(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
};

}  // namespace platform
