#pragma once

#include <memory>
#include <optional>

#include "Fluvio/Sources/Codec/AudioCodec.hpp"
#include "Fluvio/Sources/Codec/AudioCodecSettings.hpp"
#include "Fluvio/Sources/Codec/VideoCodec.hpp"
#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"
#include "Fluvio/Sources/Util/Runner.hpp"
#include "Platform/AVFAudio/AVAudioBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

// The publishing half of a network stream: raw audio goes straight to the
// audio encoder; raw video waits in the video input sequence, from which the
// owner feeds it back through appendVideo, so a slow encoder loses the oldest
// waiting frames instead of holding up the producer. Encoded media leaves
// through the two output sequences.
//
// Not synchronised: the owning stream makes every call from its own context.
class OutgoingStream final : public Runner {
 public:
  using AudioOutput = AudioCodec::Output;

  static std::shared_ptr<OutgoingStream> make() { return std::shared_ptr<OutgoingStream>(new OutgoingStream()); }

  bool isRunning() const override { return isRunning_; }

  // The format of the last raw audio or video received; null before any.
  const std::shared_ptr<const platform::CMFormatDescription>& audioInputFormat() const noexcept {
    return audioInputFormat_;
  }
  const std::shared_ptr<const platform::CMFormatDescription>& videoInputFormat() const noexcept {
    return videoInputFormat_;
  }

  // How many raw frames the video input sequence keeps, newest first; below 1
  // there is no bound. Takes effect at the next read of videoInputStream.
  int videoInputBufferCounts() const noexcept { return videoInputBufferCounts_; }
  void setVideoInputBufferCounts(int videoInputBufferCounts) noexcept {
    videoInputBufferCounts_ = videoInputBufferCounts;
  }

  const AudioCodecSettings& audioSettings() const noexcept { return audioCodec_->settings(); }
  void setAudioSettings(AudioCodecSettings settings) { audioCodec_->setSettings(std::move(settings)); }
  const VideoCodecSettings& videoSettings() const noexcept { return videoCodec_->settings(); }
  void setVideoSettings(VideoCodecSettings settings) { videoCodec_->setSettings(std::move(settings)); }

  // Each read hands out a new sequence and ends the one handed out before;
  // stopping ends all three, so consumers read them again after a restart.
  platform::AsyncStream<AudioOutput> audioOutputStream() { return audioCodec_->outputStream(); }
  platform::AsyncStream<platform::CMSampleBuffer> videoOutputStream();
  platform::AsyncStream<platform::CMSampleBuffer> videoInputStream();

  // Routes raw media by the media type of its format description: audio to
  // the encoder, video into the video input sequence (dropped while nobody
  // has read it). Anything else is ignored.
  void append(platform::CMSampleBuffer sampleBuffer);
  void append(const std::shared_ptr<platform::AVAudioBuffer>& audioBuffer,
              const std::shared_ptr<platform::AVAudioTime>& when);
  // A frame drawn from videoInputStream, for the encoder.
  void appendVideo(const platform::CMSampleBuffer& sampleBuffer) { videoCodec_->append(sampleBuffer); }
  // Ends the video input sequence, so a consumer can hand the frames still in
  // it to the encoder before stopping; later frames are dropped.
  void finishVideoInput();

  void startRunning() override;
  void stopRunning() override;

 private:
  using VideoInputContinuation = platform::AsyncStream<platform::CMSampleBuffer>::Continuation;

  OutgoingStream() = default;

  bool isRunning_ = false;
  std::shared_ptr<const platform::CMFormatDescription> audioInputFormat_;
  int videoInputBufferCounts_ = -1;
  std::shared_ptr<const platform::CMFormatDescription> videoInputFormat_;
  std::shared_ptr<AudioCodec> audioCodec_ = AudioCodec::make();
  std::shared_ptr<VideoCodec> videoCodec_ = VideoCodec::make();
  std::optional<VideoInputContinuation> videoInputContinuation_;
};

}  // namespace fluvio
