#pragma once

#include <memory>
#include <mutex>

#include "Fluvio/Sources/Util/AudioRingBuffer.hpp"
#include "Fluvio/Sources/Util/Runner.hpp"
#include "Platform/AudioToolbox/AudioUnit.hpp"

namespace fluvio {

// Plays the mixed audio on the device's own output while it runs: a device
// output unit pulls from a ring that the capture side fills. The ring is
// shared with the device's render thread and guarded by a lock.
class AudioMonitor final : public Runner {
 public:
  AudioMonitor() = default;
  ~AudioMonitor() override;

  AudioMonitor(const AudioMonitor&) = delete;
  AudioMonitor& operator=(const AudioMonitor&) = delete;

  std::shared_ptr<platform::AVAudioFormat> inputFormat() const;
  // A new format gets a new ring, and a running monitor a new unit for it.
  void setInputFormat(std::shared_ptr<platform::AVAudioFormat> format);

  bool isRunning() const override { return isRunning_; }
  void startRunning() override;
  void stopRunning() override;
  bool hasAudioUnit() const noexcept { return audioUnit_ != nullptr; }

  // Queues mixed audio for playback; nothing while stopped or without a format.
  void append(const platform::AVAudioPCMBuffer& buffer, const platform::AVAudioTime& when);

 private:
  platform::AudioUnit makeAudioUnit();
  void setAudioUnit(platform::AudioUnit audioUnit);
  static platform::OSStatus render(void* refCon, platform::AudioUnitRenderActionFlags* flags,
                                   const platform::AudioTimeStamp* timeStamp, std::uint32_t bus, std::uint32_t frames,
                                   platform::AudioBufferList* data);

  bool isRunning_ = false;
  platform::AudioUnit audioUnit_ = nullptr;
  mutable std::mutex mutex_;
  std::shared_ptr<platform::AVAudioFormat> inputFormat_;
  std::shared_ptr<AudioRingBuffer> ringBuffer_;
};

}  // namespace fluvio
