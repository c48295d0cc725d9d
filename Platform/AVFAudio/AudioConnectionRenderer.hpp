#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/AVFAudio/AVAudioConverter.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioPlayerNode.hpp"

namespace platform {

// One player node's connection into an engine's mix: renders the node in the
// connection's format, converts that to the mix rate, and adds it into the
// mix with the node's volume and pan. Used on the engine's lock.
class AudioConnectionRenderer {
 public:
  // `mixFormat` is deinterleaved float. A connection that cannot be
  // converted still plays its buffers through, unheard.
  AudioConnectionRenderer(std::shared_ptr<AVAudioPlayerNode> node, std::shared_ptr<AVAudioFormat> format,
                          const std::shared_ptr<AVAudioFormat>& mixFormat);

  AudioConnectionRenderer(const AudioConnectionRenderer&) = delete;
  AudioConnectionRenderer& operator=(const AudioConnectionRenderer&) = delete;

  const std::shared_ptr<AVAudioPlayerNode>& node() const noexcept { return node_; }
  const std::shared_ptr<AVAudioFormat>& format() const noexcept { return format_; }

  // Tells the node the time of the cycle about to start.
  void markRenderTime(std::uint64_t hostTime);
  // Starts the cycle at `hostTime`, adds the node's next `frames` frames into
  // `mix` and moves the node time on; completions of the buffers played go
  // to `finished`.
  void mix(AVAudioPCMBuffer& mix, AVAudioFrameCount frames, std::uint64_t hostTime,
           std::vector<AVAudioPlayerNode::CompletionHandler>& finished);

 private:
  // Node time: the mix frames since the connection, at the connection's rate.
  AVAudioFramePosition nodeSampleTime(std::uint64_t mixFrames) const noexcept;
  // The node's next `frames` mix frames in `converted_`; null when they
  // cannot be converted (they are played through all the same).
  AVAudioPCMBuffer* renderConverted(AVAudioFrameCount frames,
                                    std::vector<AVAudioPlayerNode::CompletionHandler>& finished);
  // `scratch_` with room for `frames` frames; null when that cannot be had.
  AVAudioPCMBuffer* scratch(AVAudioFrameCount frames);

  std::shared_ptr<AVAudioPlayerNode> node_;
  std::shared_ptr<AVAudioFormat> format_;
  double mixRate_;
  // Deinterleaved float at the mix rate: mono stays mono so that pan can
  // place it, everything else takes the mix's channels.
  std::shared_ptr<AVAudioFormat> convertedFormat_;
  // Null when the connection is already in `convertedFormat_`, or cannot be converted.
  std::shared_ptr<AVAudioConverter> converter_;
  bool convertible_;
  std::shared_ptr<AVAudioPCMBuffer> scratch_;
  std::shared_ptr<AVAudioPCMBuffer> converted_;
  std::uint64_t mixFrames_ = 0;
};

}  // namespace platform
