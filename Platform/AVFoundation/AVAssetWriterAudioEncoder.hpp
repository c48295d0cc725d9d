#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/AVFAudio/AudioPacketEncoder.hpp"
#include "Platform/AVFAudio/AudioResampler.hpp"
#include "Platform/AVFoundation/AVAssetWriterError.hpp"
#include "Platform/AVFoundation/AVAssetWriterMuxer.hpp"
#include "Platform/AVFoundation/AVOutputSettings.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace platform {

// Encodes linear PCM per the audio output settings into AAC. The track's
// audio is one continuous run from the first sample on: later samples
// follow it whatever their times, as an encoder's packets do. Audio before
// the session's start is cut off.
class AVAssetWriterAudioEncoder {
 public:
  // Null for a source that is not linear PCM of a layout the converter
  // takes, or settings the encoder refuses.
  static std::unique_ptr<AVAssetWriterAudioEncoder> make(const AVAudioOutputSettings& settings,
                                                         const std::shared_ptr<const CMFormatDescription>& source);

  // Samples must keep the first one's format.
  std::optional<AVAssetWriterError> append(const CMSampleBuffer& sampleBuffer, AVAssetWriterMuxer& muxer, int track);
  // Encodes what is left and hands on the last packets.
  std::optional<AVAssetWriterError> finish(AVAssetWriterMuxer& muxer, int track);

 private:
  AVAssetWriterAudioEncoder(std::shared_ptr<const CMFormatDescription> source,
                            std::unique_ptr<AudioResampler> resampler, std::unique_ptr<AudioPacketEncoder> encoder,
                            std::int64_t bitRate);

  AVAssetWriterTrackFormat trackFormat() const;
  // Where this sample's frames go in the track's run; false when they all
  // lie before the session. Sets the run's start with the first sample.
  std::optional<AVAssetWriterError> place(const CMSampleBuffer& sampleBuffer, AVAssetWriterMuxer& muxer, int track,
                                          std::size_t& skippedFrames);
  std::optional<AVAssetWriterError> encode(int frames);
  std::optional<AVAssetWriterError> handOn(AVAssetWriterMuxer& muxer, int track);

  std::shared_ptr<const CMFormatDescription> source_;
  std::unique_ptr<AudioResampler> resampler_;
  std::unique_ptr<AudioPacketEncoder> encoder_;
  std::int64_t bitRate_;
  // The run's first frame, in output frames from the session's start.
  std::optional<std::int64_t> start_;
};

}  // namespace platform
