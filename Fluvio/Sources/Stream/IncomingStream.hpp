#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Fluvio/Sources/Codec/AudioCodec.hpp"
#include "Fluvio/Sources/Codec/VideoCodec.hpp"
#include "Fluvio/Sources/Stream/MediaLink.hpp"
#include "Fluvio/Sources/Stream/SoundTransform.hpp"
#include "Fluvio/Sources/Util/AsyncRunner.hpp"
#include "Platform/AVFAudio/AVAudioBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/QuartzCore/DisplayTickSource.hpp"

namespace fluvio {

class AudioPlayer;
class AudioPlayerNode;
class StreamConvertible;

// The playing half of a network stream: decodes received audio and video,
// paces the decoded frames through its media link and hands every due frame
// and every decoded audio buffer back to the owning stream, in order. With an
// audio player attached, the decoded audio also plays on a node of that
// player, whose playback time then paces the video.
class IncomingStream final : public AsyncRunner, public std::enable_shared_from_this<IncomingStream> {
 public:
  // The owning stream is held weakly; media for a stream that has gone is
  // dropped. Display ticks come from `tickSource`.
  IncomingStream(Key key, std::weak_ptr<StreamConvertible> stream,
                 std::shared_ptr<platform::DisplayTickSource> tickSource);
  static std::shared_ptr<IncomingStream> make(
      std::weak_ptr<StreamConvertible> stream,
      std::shared_ptr<platform::DisplayTickSource> tickSource = platform::DisplayTickSource::main());

  platform::Async<bool> isRunning() const override;
  // Decodes audio to PCM from now on and starts the forwarding tasks.
  platform::Async<void> startRunning() override;
  // Returns once the media link and the player node have stopped; output
  // decoded just before may still reach the owning stream.
  platform::Async<void> stopRunning() override;

  // Compressed audio or video, routed by its format description; anything
  // else is dropped. Video returns once the decoder has taken the sample,
  // so a feeder that awaits each append never runs ahead of the decoder.
  platform::Async<void> append(platform::CMSampleBuffer sampleBuffer);
  // One compressed audio packet and its time.
  platform::Async<void> append(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                               std::shared_ptr<platform::AVAudioTime> when);

  // None while no player node is attached.
  platform::Async<std::optional<SoundTransform>> soundTransform() const;
  // Nothing without a player node.
  platform::Async<void> setSoundTransform(SoundTransform soundTransform);
  // Replaces the player node with one of `audioPlayer` (none detaches); the
  // media link follows the new node's clock, or display time without one.
  platform::Async<void> attachAudioPlayer(std::shared_ptr<AudioPlayer> audioPlayer);

 private:
  using DecodedVideo = platform::AsyncStream<platform::CMSampleBuffer>;
  using DecodedAudio = platform::AsyncStream<AudioCodec::Output>;

  platform::Async<bool> isRunningBody() const;
  platform::Async<void> startRunningBody();
  platform::Async<void> stopRunningBody();
  platform::Async<void> appendSampleBody(platform::CMSampleBuffer sampleBuffer);
  platform::Async<void> appendAudioBody(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                                        std::shared_ptr<platform::AVAudioTime> when);
  platform::Async<std::optional<SoundTransform>> soundTransformBody() const;
  platform::Async<void> setSoundTransformBody(SoundTransform soundTransform);
  platform::Async<void> attachAudioPlayerBody(std::shared_ptr<AudioPlayer> audioPlayer);

  // The forwarding tasks, on this stream's strand; each ends with its sequence.
  void forwardDueFrames(MediaLink::Frames frames);
  void forwardDecodedVideo(DecodedVideo decoded);
  void forwardDecodedAudio(DecodedAudio decoded, std::uint64_t run);
  static platform::Async<void> playAndForward(std::weak_ptr<IncomingStream> weakSelf, DecodedAudio decoded,
                                              std::uint64_t run);

  bool isRunning_ = false;
  const std::shared_ptr<MediaLink> mediaLink_;
  const std::shared_ptr<AudioCodec> audioCodec_ = AudioCodec::make();
  const std::shared_ptr<VideoCodec> videoCodec_ = VideoCodec::make();
  const std::weak_ptr<StreamConvertible> stream_;
  std::shared_ptr<AudioPlayerNode> audioPlayerNode_;
  // The player the node came from, which detaches it again.
  std::weak_ptr<AudioPlayer> audioPlayer_;
  // Counts starts and stops, so work begun for one run stops at the next.
  std::uint64_t run_ = 0;
};

}  // namespace fluvio
