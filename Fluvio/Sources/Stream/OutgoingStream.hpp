#pragma once

#include <cstddef>
#include <cstdint>
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

// The publishing half of a network stream, one way: raw audio goes straight
// to the audio encoder; raw video waits in the video input sequence, from
// which the owner hands it to the encoder through encodeVideo; encoded media
// leaves through the two output sequences, for the owner to send. Each
// hand-off is bounded and counts what it drops:
// - raw video keeps the newest videoInputBufferCounts frames, dropping the oldest;
// - encoded video and audio wait in order up to their bounds, beyond which new
//   ones are dropped;
// - the encoder holds a few frames; its feeder is suspended while it is full.
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

  // Four seconds of frames at 30 fps: a burst is kept whole, a stalled
  // encoder does not pile frames up without end.
  static constexpr int defaultVideoInputBufferCounts = 120;
  // Encoded frames waiting to be sent, about four seconds of them.
  static constexpr std::size_t videoOutputBufferCounts = 120;
  // Encoded audio waiting to be sent: about five seconds of AAC.
  static constexpr std::size_t audioOutputBufferCounts = 256;

  // What the bounded hand-offs dropped since the stream was made.
  struct Drops {
    std::uint64_t videoInput = 0;
    std::uint64_t videoOutput = 0;
    std::uint64_t audioOutput = 0;
    bool operator==(const Drops&) const = default;
  };

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
  // A frame drawn from videoInputStream, for the encoder: suspends the
  // caller while the encoder holds its fill of frames.
  platform::Async<void> encodeVideo(platform::CMSampleBuffer sampleBuffer) {
    return videoCodec_->encode(std::move(sampleBuffer));
  }
  // The same without waiting: a full encoder queues one more.
  void appendVideo(const platform::CMSampleBuffer& sampleBuffer) { videoCodec_->append(sampleBuffer); }
  // Makes the next frame the encoder takes a key frame. Safe on any thread.
  void requestKeyFrame() noexcept { videoCodec_->requestKeyFrame(); }
  // Ends the video input sequence, so a consumer can hand the frames still in
  // it to the encoder before stopping; later frames are dropped.
  void finishVideoInput();

  Drops drops() const;

  void startRunning() override;
  void stopRunning() override;

 private:
  using VideoInputContinuation = platform::AsyncStream<platform::CMSampleBuffer>::Continuation;

  OutgoingStream() = default;

  bool isRunning_ = false;
  std::shared_ptr<const platform::CMFormatDescription> audioInputFormat_;
  int videoInputBufferCounts_ = defaultVideoInputBufferCounts;
  std::shared_ptr<const platform::CMFormatDescription> videoInputFormat_;
  std::shared_ptr<AudioCodec> audioCodec_ =
      AudioCodec::make(platform::BufferingPolicy::bufferingOldest(audioOutputBufferCounts));
  std::shared_ptr<VideoCodec> videoCodec_ = VideoCodec::make();
  std::optional<VideoInputContinuation> videoInputContinuation_;
  // Drops counted by the sequences ended already.
  Drops droppedBefore_;
};

}  // namespace fluvio
