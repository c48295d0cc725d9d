#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/AVFAudio/AVAudioConverter.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioOutputNode.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioPlayerNode.hpp"
#include "Platform/AVFAudio/AudioConnectionRenderer.hpp"
#include "Platform/AVFAudio/AudioOutputDevice.hpp"

namespace platform {

// A graph of player nodes connected to one output device. While running,
// the device's render thread mixes the playing nodes' scheduled audio, each
// converted from its connection's format, into the device's format.
class AVAudioEngine final {
 public:
  class Error : public std::exception {
   public:
    enum class Case { startFailed };

    explicit Error(Case errorCase) : case_(errorCase) {}
    Case errorCase() const noexcept { return case_; }
    const char* what() const noexcept override { return "startFailed"; }

   private:
    Case case_;
  };

  // On the sound card's default PCM, or on a real-time null device when that
  // cannot be opened or started.
  static std::shared_ptr<AVAudioEngine> make();
  // On `device` only.
  static std::shared_ptr<AVAudioEngine> make(std::shared_ptr<AudioOutputDevice> device);
  ~AVAudioEngine();

  AVAudioEngine(const AVAudioEngine&) = delete;
  AVAudioEngine& operator=(const AVAudioEngine&) = delete;

  const std::shared_ptr<AVAudioOutputNode>& outputNode() const noexcept { return outputNode_; }

  // Nothing for a node attached to another engine.
  void attach(std::shared_ptr<AVAudioPlayerNode> node);
  // Disconnects the node and stops it; its scheduled buffers are dropped.
  void detach(const std::shared_ptr<AVAudioPlayerNode>& node);
  // Connects an attached node in `format` (linear PCM), replacing its
  // connection; the node time starts again from 0. Nothing for a node that is
  // not attached, another engine's output node, or another format.
  void connect(const std::shared_ptr<AVAudioPlayerNode>& node, const std::shared_ptr<AVAudioOutputNode>& outputNode,
               const std::shared_ptr<AVAudioFormat>& format);
  // The node stays attached and keeps its scheduled buffers, unplayed.
  void disconnectNodeOutput(const std::shared_ptr<AVAudioPlayerNode>& node);

  // Throws Error when the device cannot play (the default device falls back
  // to the null device instead).
  void start();
  void stop();
  bool isRunning() const noexcept { return running_.load(); }

 private:
  AVAudioEngine(std::shared_ptr<AudioOutputDevice> device, bool fallsBack);

  static std::shared_ptr<AudioOutputDevice> makeFallbackDevice();

  // On the lock.
  void useDevice(std::shared_ptr<AudioOutputDevice> device);
  bool isAttached(const AVAudioPlayerNode& node) const;
  void removeConnection(const AVAudioPlayerNode& node);

  // The device's render block.
  void render(AVAudioPCMBuffer& output, std::uint64_t hostTime);
  // The buffer to mix into: the device's own when it takes the mix as it
  // is; null when no buffer can be had.
  AVAudioPCMBuffer* mixBuffer(AVAudioPCMBuffer& output);
  // The mix in the device's format; silence when it cannot be converted.
  void deliver(AVAudioPCMBuffer& output);

  const bool fallsBack_;
  const std::shared_ptr<AVAudioOutputNode> outputNode_;
  // Serialises start and stop; never taken by the render thread.
  std::mutex lifecycleMutex_;
  mutable std::mutex mutex_;
  std::atomic<bool> running_ = false;
  std::shared_ptr<AudioOutputDevice> device_;
  // Deinterleaved float at the device's rate and channel count.
  std::shared_ptr<AVAudioFormat> mixFormat_;
  std::shared_ptr<AVAudioPCMBuffer> mix_;
  bool mixesIntoDevice_ = false;
  // Mix to device format; null when the device takes the mix as it is, or
  // cannot be converted to (it then plays silence).
  std::shared_ptr<AVAudioConverter> outputConverter_;
  std::vector<std::shared_ptr<AVAudioPlayerNode>> attached_;
  std::vector<std::unique_ptr<AudioConnectionRenderer>> connections_;
};

}  // namespace platform
