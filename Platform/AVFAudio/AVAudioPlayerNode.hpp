#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/AVFAudio/AVAudioTypes.hpp"

namespace platform {

class AVAudioEngine;

// Plays scheduled PCM buffers into an engine. Two clocks: the node time counts
// the frames the engine has run since the node was connected, at the rate of
// its connection; the player time counts the frames played since play() (it
// stands still while paused and starts again from 0 after stop()).
//
// A buffer scheduled at a sample time plays at that player time; one whose
// time has passed when its turn comes, or that has no time, plays as soon as
// the buffers before it are done. Buffers play one after another in the order
// they were scheduled. Every member is safe from any thread.
class AVAudioPlayerNode final {
 public:
  // Called once the buffer has been played, or dropped by stop(), by
  // detaching, or because its format is not the connection's. Called on the
  // engine's render thread, or on the thread that dropped it.
  using CompletionHandler = std::function<void()>;

  static std::shared_ptr<AVAudioPlayerNode> make() {
    return std::shared_ptr<AVAudioPlayerNode>(new AVAudioPlayerNode());
  }

  AVAudioPlayerNode(const AVAudioPlayerNode&) = delete;
  AVAudioPlayerNode& operator=(const AVAudioPlayerNode&) = delete;

  // `when` is a player sample time, at the connection's rate when it carries
  // no rate of its own; a null time, or one without a sample time, plays the
  // buffer right after the ones before it.
  void scheduleBuffer(std::shared_ptr<AVAudioPCMBuffer> buffer, const std::shared_ptr<AVAudioTime>& when,
                      CompletionHandler completionHandler);

  void play();
  void pause();
  // Drops every scheduled buffer and rewinds the player time.
  void stop();
  bool isPlaying() const;

  // Linear gain, clamped to [0, 1].
  float volume() const noexcept { return volume_.load(std::memory_order_relaxed); }
  void setVolume(float volume) noexcept;
  // -1 is left only, +1 right only; clamped to [-1, 1].
  float pan() const noexcept { return pan_.load(std::memory_order_relaxed); }
  void setPan(float pan) noexcept;

  // The node time of the engine's last render cycle; null unless the node is
  // connected in a running engine.
  std::shared_ptr<AVAudioTime> lastRenderTime() const;
  // `nodeTime` as player time; null while the node is not playing or has no
  // render time.
  std::shared_ptr<AVAudioTime> playerTime(const AVAudioTime& nodeTime) const;

 private:
  friend class AVAudioEngine;
  friend class AudioConnectionRenderer;

  struct ScheduledBuffer {
    std::shared_ptr<AVAudioPCMBuffer> buffer;
    // Player sample time of the first frame not yet played; none until it is
    // due when scheduled without a time.
    std::optional<AVAudioFramePosition> position;
    AVAudioFrameCount played = 0;
    CompletionHandler completionHandler;
  };

  struct RenderTime {
    std::uint64_t hostTime = 0;
    AVAudioFramePosition sampleTime = 0;
    double sampleRate = 0;
  };

  AVAudioPlayerNode() = default;

  // Engine side.
  bool attach(const AVAudioEngine* engine);
  void detach();
  // Starts a render cycle at node time `sampleTime` and host time `hostTime`.
  void setRenderTime(std::uint64_t hostTime, AVAudioFramePosition sampleTime, double sampleRate);
  void clearRenderTime();
  // The next `frames` frames of player time into `output` (the connection's
  // format); completions of the buffers finished go to `finished`.
  void render(AVAudioPCMBuffer& output, AVAudioFrameCount frames, std::vector<CompletionHandler>& finished);

  // Under the lock.
  std::optional<AVAudioFramePosition> startPosition(const std::shared_ptr<AVAudioTime>& when) const;
  std::vector<CompletionHandler> dropScheduled();

  mutable std::mutex mutex_;
  const AVAudioEngine* engine_ = nullptr;
  std::deque<ScheduledBuffer> scheduled_;
  bool playing_ = false;
  AVAudioFramePosition playerSampleTime_ = 0;
  // Node time minus player time, fixed at play() and at each cycle while playing.
  AVAudioFramePosition playerOffset_ = 0;
  std::optional<RenderTime> renderTime_;
  std::atomic<float> volume_ = 1.0f;
  std::atomic<float> pan_ = 0.0f;
};

}  // namespace platform
