#pragma once

#include <atomic>
#include <memory>
#include <optional>

#include "Platform/AVFoundation/AVAssetWriterAudioEncoder.hpp"
#include "Platform/AVFoundation/AVAssetWriterPassthrough.hpp"
#include "Platform/AVFoundation/AVAssetWriterState.hpp"
#include "Platform/AVFoundation/AVAssetWriterVideoEncoder.hpp"
#include "Platform/AVFoundation/AVOutputSettings.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace platform {

class AVAssetWriter;

// One track of a writer. Raw media (pictures, linear PCM) is encoded per the
// output settings; encoded media (H.264, HEVC, AAC) is written as it is,
// provided the settings are empty or name its codec. The first sample fixes
// which of the two the track holds. Thread-safe.
class AVAssetWriterInput {
 public:
  // Null for a media type other than audio and video.
  static std::shared_ptr<AVAssetWriterInput> make(
      AVMediaType mediaType, AVOutputSettings outputSettings,
      std::shared_ptr<const CMFormatDescription> sourceFormatHint = nullptr);

  AVMediaType mediaType() const noexcept { return mediaType_; }
  const AVOutputSettings& outputSettings() const noexcept { return outputSettings_; }
  const std::shared_ptr<const CMFormatDescription>& sourceFormatHint() const noexcept { return sourceFormatHint_; }

  // Read when the first raw sample makes the encoder: a real-time encoder
  // keeps no frames back.
  bool expectsMediaDataInRealTime() const noexcept { return expectsMediaDataInRealTime_; }
  void setExpectsMediaDataInRealTime(bool expectsMediaDataInRealTime) noexcept {
    expectsMediaDataInRealTime_ = expectsMediaDataInRealTime;
  }

  // True while the writer writes, this input is not finished and the file
  // is not held up waiting for the other tracks' first media.
  bool isReadyForMoreMediaData() const;
  // False when the sample is refused: before the writer writes and its
  // session starts, after markAsFinished, or for a sample it cannot write
  // (the writer's error says why).
  bool append(const CMSampleBuffer& sampleBuffer);
  // Writes what the encoder still holds; later appends are refused.
  void markAsFinished();

 private:
  friend class AVAssetWriter;

  AVAssetWriterInput(AVMediaType mediaType, AVOutputSettings outputSettings,
                     std::shared_ptr<const CMFormatDescription> sourceFormatHint);

  // Called by the writer, which holds the lock.
  void attach(std::shared_ptr<AVAssetWriterState> state, int track);
  bool isAttached() const noexcept { return state_ != nullptr; }
  void finishLocked();

  std::optional<AVAssetWriterError> write(const CMSampleBuffer& sampleBuffer);
  std::optional<AVAssetWriterError> writeEncoded(const CMSampleBuffer& sampleBuffer);
  std::optional<AVAssetWriterError> writeRawVideo(const CMSampleBuffer& sampleBuffer);
  std::optional<AVAssetWriterError> writeRawAudio(const CMSampleBuffer& sampleBuffer);
  bool settingsTake(const CMFormatDescription& encodedFormat) const;

  const AVMediaType mediaType_;
  const AVOutputSettings outputSettings_;
  const std::shared_ptr<const CMFormatDescription> sourceFormatHint_;
  std::atomic<bool> expectsMediaDataInRealTime_ = false;

  std::shared_ptr<AVAssetWriterState> state_;
  int track_ = -1;
  bool finished_ = false;
  // Chosen by the first sample: encoded media goes straight to the
  // passthrough, raw video through the video encoder into it, raw audio
  // through the audio encoder.
  std::optional<AVAssetWriterPassthrough> passthrough_;
  std::unique_ptr<AVAssetWriterVideoEncoder> videoEncoder_;
  AVAssetWriterVideoEncoder::Output encodedVideo_;
  std::unique_ptr<AVAssetWriterAudioEncoder> audioEncoder_;
};

}  // namespace platform
