#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "Fluvio/Sources/Mixer/AudioDeviceUnit.hpp"
#include "Fluvio/Sources/Mixer/AudioMixer.hpp"
#include "Fluvio/Sources/Mixer/AudioMonitor.hpp"
#include "Fluvio/Sources/Mixer/CaptureUnit.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"

namespace fluvio {

// The audio side of the media mixer: microphones per track, the audio mixer
// and the monitor. The mixer and the monitor are touched only on
// `lockQueue`, where captured audio arrives: appends and setting changes
// from elsewhere are posted there, and what callers read back is a snapshot
// taken there after each change.
class AudioCaptureUnit final : public CaptureUnit<AudioCaptureUnit, AudioDeviceUnit>, public AudioMixerDelegate {
 public:
  using Element = std::pair<std::shared_ptr<platform::AVAudioPCMBuffer>, std::shared_ptr<platform::AVAudioTime>>;
  using Configuration = std::function<void(AudioDeviceUnit& unit)>;

  static std::shared_ptr<AudioCaptureUnit> make(std::shared_ptr<CaptureSessionConvertible> session,
                                                bool isMultiTrackAudioMixingEnabled);

  bool isMultiTrackAudioMixingEnabled() const noexcept { return isMultiTrackAudioMixingEnabled_; }

  // Detaches the track's unit, then attaches a unit for `device` (none only
  // detaches). Throws the unit's error, or AVError::invalidArgument when the
  // session refuses the unit; configuration errors are dropped.
  void attachAudio(std::shared_ptr<platform::AVCaptureDevice> device, std::uint8_t track,
                   const Configuration& configuration = {});

  bool isMonitoringEnabled() const;
  void setMonitoringEnabled(bool enabled);

  AudioMixerSettings settings() const;
  void setSettings(AudioMixerSettings settings);
  AudioMixer::InputFormats inputFormats() const;
  using CaptureUnit::append;
  void append(std::shared_ptr<platform::AVAudioPCMBuffer> buffer, std::shared_ptr<platform::AVAudioTime> when,
              std::uint8_t track);

  // Where copies of the mixed blocks go from now on; replaces, and finishes, an earlier one.
  void setContinuation(std::optional<platform::AsyncStream<Element>::Continuation> continuation);
  void finishContinuation();

  void audioMixer(AudioMixer& mixer, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
                  const std::shared_ptr<platform::AVAudioTime>& when) override;

 private:
  friend CaptureUnit;
  AudioCaptureUnit(std::shared_ptr<CaptureSessionConvertible> session, bool isMultiTrackAudioMixingEnabled);
  // On the queue.
  void appendOnQueue(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track);
  // On the queue: keeps what readers see in step with the mixer.
  void snapshot();

  const bool isMultiTrackAudioMixingEnabled_;
  std::shared_ptr<AudioMixer> audioMixer_;
  AudioMonitor monitor_;

  mutable std::mutex mutex_;
  bool isMonitoringEnabled_ = false;
  AudioMixerSettings settings_;
  AudioMixer::InputFormats inputFormats_;
  std::optional<platform::AsyncStream<Element>::Continuation> continuation_;
};

}  // namespace fluvio
