#pragma once

#include <cstdint>
#include <memory>

#include "Fluvio/Sources/Stream/SoundTransform.hpp"
#include "Fluvio/Sources/Util/AsyncRunner.hpp"
#include "Fluvio/Sources/Util/AudioTime.hpp"
#include "Platform/AVFAudio/AVAudioBuffer.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioPlayerNode.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace fluvio {

class AudioPlayer;

// Plays one stream's decoded audio on a platform player node: connects it in
// the format of the audio, schedules the buffers back to back on a running
// sample clock and starts playing once enough of them wait. Its playback
// position is the audio clock that video is paced against.
class AudioPlayerNode final : public AsyncRunner, public std::enable_shared_from_this<AudioPlayerNode> {
 public:
  // Playback starts when this many buffers wait to be played.
  static constexpr std::int64_t buffersBeforePlayback = 10;

  AudioPlayerNode(Key key, std::weak_ptr<AudioPlayer> player, std::shared_ptr<platform::AVAudioPlayerNode> playerNode)
      : AsyncRunner(key), playerNode_(std::move(playerNode)), player_(std::move(player)) {}
  // Made by the player (AudioPlayer::makePlayerNode).
  static std::shared_ptr<AudioPlayerNode> make(std::weak_ptr<AudioPlayer> player,
                                               std::shared_ptr<platform::AVAudioPlayerNode> playerNode) {
    return Actor::make<AudioPlayerNode>(std::move(player), std::move(playerNode));
  }

  const std::shared_ptr<platform::AVAudioPlayerNode>& playerNode() const noexcept { return playerNode_; }

  // Seconds played since playback started; 0 while not playing.
  platform::Async<double> currentTime() const;
  // Whether the platform node plays: until then currentTime() stands at 0.
  platform::Async<bool> isPlaying() const;
  platform::Async<SoundTransform> soundTransform() const;
  // Stores the transform and sets the platform node's volume and pan from it.
  platform::Async<void> setSoundTransform(SoundTransform soundTransform);
  // Schedules a PCM buffer, connecting the node first when its format is new;
  // other buffers, and every buffer once the player is gone, are dropped.
  platform::Async<void> enqueue(std::shared_ptr<platform::AVAudioBuffer> audioBuffer);

  platform::Async<bool> isRunning() const override;
  platform::Async<void> startRunning() override;
  // Stops playback, drops what is scheduled and disconnects the node.
  platform::Async<void> stopRunning() override;

 private:
  platform::Async<double> currentTimeBody() const;
  platform::Async<bool> isPlayingBody() const;
  platform::Async<SoundTransform> soundTransformBody() const;
  platform::Async<void> setSoundTransformBody(SoundTransform soundTransform);
  platform::Async<void> enqueueBody(std::shared_ptr<platform::AVAudioBuffer> audioBuffer);
  platform::Async<bool> isRunningBody() const;
  platform::Async<void> startRunningBody();
  platform::Async<void> stopRunningBody();

  // Places the buffer at the clock's current sample time and moves the clock past it.
  void schedule(std::shared_ptr<platform::AVAudioPCMBuffer> buffer);
  // On the strand, once the platform node is done with a buffer of run `run`.
  void bufferConsumed(std::uint64_t run);

  bool isRunning_ = false;
  SoundTransform soundTransfrom_;
  const std::shared_ptr<platform::AVAudioPlayerNode> playerNode_;
  std::shared_ptr<AudioTime> audioTime_ = AudioTime::make();
  // Scheduled and not yet played.
  std::int64_t scheduledAudioBuffers_ = 0;
  // Counts starts, so that buffers of an earlier run are not counted against this one.
  std::uint64_t run_ = 0;
  std::weak_ptr<AudioPlayer> player_;
  // The format of the last buffer, which the node is connected in.
  std::shared_ptr<platform::AVAudioFormat> format_;
};

}  // namespace fluvio
