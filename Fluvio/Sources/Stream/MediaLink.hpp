#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "Fluvio/Sources/Stream/DisplayLinkChoreographer.hpp"
#include "Fluvio/Sources/Stream/DisplayLinkTime.hpp"
#include "Fluvio/Sources/Util/AsyncRunner.hpp"
#include "Fluvio/Sources/Util/TypedBlockQueue.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/QuartzCore/DisplayTickSource.hpp"

namespace fluvio {

class AudioPlayerNode;

// Releases decoded video frames when they are due. On every display tick the
// playback time is the attached audio player node's while it plays, else the
// display time elapsed since the start; every queued frame whose time,
// measured from the first frame since the start, has been reached leaves
// through the `frames()` sequence, in presentation order. A consumer that
// falls behind gets the newest due frames; the older ones are dropped and
// counted.
class MediaLink final : public AsyncRunner, public std::enable_shared_from_this<MediaLink> {
 public:
  using Frames = platform::AsyncStream<platform::CMSampleBuffer>;

  static constexpr std::size_t capacity = 90;
  // Frames a decoder may still emit after its feeder was held back: its
  // queue of samples and the pictures that reordering keeps.
  static constexpr std::size_t decoderLead = 30;
  // Due frames waiting for a consumer, at most. One tick may release the
  // whole queue, a burst the consumer gets whole; a consumer further behind
  // than that is better served by the newest frames.
  static constexpr std::size_t dueFramesLimit = capacity;

  // Frames lost since the link was made.
  struct Drops {
    std::uint64_t refused = 0;  // by the full queue
    std::uint64_t unread = 0;   // due, but the consumer was dueFramesLimit behind
    bool operator==(const Drops&) const = default;
  };

  MediaLink(Key key, std::shared_ptr<platform::DisplayTickSource> tickSource);
  static std::shared_ptr<MediaLink> make(
      std::shared_ptr<platform::DisplayTickSource> tickSource = platform::DisplayTickSource::main());

  // A new sequence of due frames, keeping the newest dueFramesLimit for its
  // consumer; the one handed out before ends.
  platform::Async<Frames> frames();
  // Ignored while stopped. Frames without a presentation time are dropped:
  // they could never fall due.
  platform::Async<void> enqueue(platform::CMSampleBuffer sampleBuffer);
  // Resumes once the queue holds fewer than capacity - decoderLead frames,
  // or the link is stopped: a decoder fed only after this never makes the
  // link refuse a frame.
  platform::Async<void> room();
  platform::Async<Drops> drops() const;
  // The playback clock; none (or a node that has gone) paces by display time.
  platform::Async<void> setAudioPlayer(std::weak_ptr<AudioPlayerNode> audioPlayer);
  // Display time accumulated over the ticks since the last start.
  platform::Async<double> duration() const;

  platform::Async<bool> isRunning() const override;
  // Takes a fresh origin from the next frame and counts display time from 0.
  platform::Async<void> startRunning() override;
  // Ends the frame sequence, stops the ticks and empties the queue.
  platform::Async<void> stopRunning() override;

 private:
  using Storage = TypedBlockQueue<platform::CMSampleBuffer>;

  platform::Async<Frames> framesBody();
  platform::Async<void> enqueueBody(platform::CMSampleBuffer sampleBuffer);
  platform::Async<void> roomBody();
  bool hasRoom() const noexcept { return !isRunning_ || !storage_ || queued_ < capacity - decoderLead; }
  void resumeRoomWaiters();
  platform::Async<void> setAudioPlayerBody(std::weak_ptr<AudioPlayerNode> audioPlayer);
  platform::Async<double> durationBody() const;
  platform::Async<bool> isRunningBody() const;
  platform::Async<void> startRunningBody();
  platform::Async<void> stopRunningBody();

  // Runs on the link's strand until the ticks of its run end.
  static platform::Async<void> pace(std::weak_ptr<MediaLink> weakSelf, DisplayLinkChoreographer::UpdateFrames ticks,
                                    std::uint64_t run);
  platform::Async<void> tick(DisplayLinkTime time, std::uint64_t run);
  // The audio clock while the attached node plays; none otherwise.
  platform::Async<std::optional<double>> audioPlaybackTime() const;
  void releaseFrames(double currentTime);
  void replaceContinuation(std::optional<Frames::Continuation> next);

  bool isRunning_ = false;
  std::unique_ptr<Storage> storage_;
  std::size_t queued_ = 0;
  std::uint64_t refusedFrames_ = 0;
  std::uint64_t unreadBefore_ = 0;  // by the sequences ended already
  std::vector<platform::Continuation<void>> roomWaiters_;
  std::optional<Frames::Continuation> continuation_;
  double duration_ = 0;
  platform::CMTime presentationTimeStampOrigin_ = platform::CMTime::invalid;
  std::shared_ptr<DisplayLinkChoreographer> displayLink_;
  std::weak_ptr<AudioPlayerNode> audioPlayer_;
  // Counts starts, so a pacing task left over from an earlier run stops.
  std::uint64_t run_ = 0;
};

}  // namespace fluvio
