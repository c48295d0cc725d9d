#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace rtmpfluvio {

// Encoded media waiting for room on the connection, in the order it came.
// What it holds is bounded by media time: past kHeldSeconds of video, video
// goes from the oldest up to the next key frame it holds (or, holding none,
// all of it and what comes after until a key frame comes, asking the
// encoder for one), so the picture the server gets never breaks; past
// kHeldSeconds of audio, the oldest audio goes. Every drop is counted.
//
// Not synchronised: the owning stream makes every call from its own strand.
class RTMPMediaSendQueue {
 public:
  // About a second of the stream, whatever its rate: what a viewer falls
  // behind at most before the queue drops.
  static constexpr double kHeldSeconds = 1.0;

  struct Audio {
    std::shared_ptr<platform::AVAudioCompressedBuffer> buffer;
    platform::AVAudioTime when;
  };
  using Media = std::variant<platform::CMSampleBuffer, Audio>;

  struct Drops {
    std::uint64_t videoFrames = 0;
    std::uint64_t audioBuffers = 0;
  };

  void push(platform::CMSampleBuffer frame);
  void push(Audio audio);
  // The oldest media held, if any.
  std::optional<Media> pop();
  bool empty() const noexcept { return held_.empty(); }
  // Lets go of everything held and starts over, as for a new publication;
  // returns the video frames it held. The drop counts stay.
  std::uint64_t clear();
  const Drops& drops() const noexcept { return drops_; }
  // Called once each time the queue starts waiting for a key frame, so the
  // wait lasts a frame or two rather than up to the encoder's interval.
  void setKeyFrameRequest(std::function<void()> requestKeyFrame) { requestKeyFrame_ = std::move(requestKeyFrame); }

 private:
  // Drops video from the oldest held up to the next key frame held.
  void dropOldestVideo();
  void dropOldestAudio();

  // Its chunks come from the block pool: a queue that media passes through
  // at a steady pace takes no heap block once warm.
  using Held = std::deque<Media, platform::detail::BlockAllocator<Media>>;

  Held held_;
  // Video was dropped and no key frame held: frames wait for one to come.
  bool awaitsKeyFrame_ = false;
  Drops drops_;
  std::function<void()> requestKeyFrame_;
};

}  // namespace rtmpfluvio
