#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Fluvio/Sources/Mixer/AudioCaptureUnit.hpp"
#include "Fluvio/Sources/Mixer/CaptureSessionConvertible.hpp"
#include "Fluvio/Sources/Mixer/VideoCaptureUnit.hpp"
#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Sources/Stream/DisplayLinkChoreographer.hpp"
#include "Fluvio/Sources/Stream/MediaMixerOutput.hpp"
#include "Fluvio/Sources/Util/AsyncRunner.hpp"
#include "Platform/Concurrency/TaskGroup.hpp"
#include "Platform/Foundation/Notification.hpp"

namespace fluvio {

// The front of capture and mixing: owns the capture session and the audio
// and video capture units, and fans raw and mixed media out to its outputs.
// Every member runs on the actor's strand; the screen and the display link
// are touched only on ScreenActor, in tasks the mixer starts.
class MediaMixer final : public AsyncRunner, public std::enable_shared_from_this<MediaMixer> {
 public:
  enum class CaptureSessionMode { single, multi, manual };

  class Error : public std::exception {
   public:
    enum class Case { failedToAttach, deviceNotFound };
    Error(Case errorCase, std::exception_ptr underlying = nullptr);
    Case errorCase() const noexcept { return case_; }
    // The attach failure's own error.
    const std::exception_ptr& underlying() const noexcept { return underlying_; }
    const char* what() const noexcept override { return message_.c_str(); }

   private:
    Case case_;
    std::exception_ptr underlying_;
    std::string message_;
  };

  static constexpr std::uint8_t mixedTrack = 255;

  MediaMixer(Key key, CaptureSessionMode captureSessionMode, bool multiTrackAudioMixingEnabled,
             std::shared_ptr<platform::DisplayTickSource> displayTickSource);
  static std::shared_ptr<MediaMixer> make(CaptureSessionMode captureSessionMode = CaptureSessionMode::single,
                                          bool multiTrackAudioMixingEnabled = false,
                                          std::shared_ptr<platform::DisplayTickSource> displayTickSource =
                                              platform::DisplayTickSource::main());
  ~MediaMixer() override;

  platform::Async<bool> isRunning() const override;
  platform::Async<void> startRunning() override;
  platform::Async<void> stopRunning() override;

  platform::Async<void> attachVideo(std::shared_ptr<platform::AVCaptureDevice> device, std::uint8_t track,
                                    VideoCaptureUnit::Configuration configuration = {});
  platform::Async<void> attachAudio(std::shared_ptr<platform::AVCaptureDevice> device, std::uint8_t track,
                                    AudioCaptureUnit::Configuration configuration = {});
  // Throws deviceNotFound when the track has no device.
  platform::Async<void> configuration(std::uint8_t videoTrack, VideoCaptureUnit::Configuration body);
  platform::Async<void> configurationAudio(std::uint8_t audioTrack, AudioCaptureUnit::Configuration body);
  platform::Async<void> configuration(CaptureSessionConvertible::Configuration body);

  platform::Async<void> setTorchEnabled(bool enabled);
  platform::Async<void> setSessionPreset(CaptureSessionConvertible::Preset preset);
  platform::Async<void> setVideoOrientation(platform::AVCaptureVideoOrientation orientation);
  platform::Async<void> setVideoMixerSettings(VideoMixerSettings settings);
  // In passthrough mode the main track's camera runs at the rate; its error
  // leaves the stored rate as it was.
  // In offscreen mode the display link runs at the rate (finite, 1 or more).
  platform::Async<void> setFrameRate(double frameRate);
  // Errors of the devices are dropped; the mode is stored anyway.
  platform::Async<void> setDynamicRangeMode(DynamicRangeMode mode);
  platform::Async<void> setAudioMixerSettings(AudioMixerSettings settings);
  platform::Async<void> setMonitoringEnabled(bool enabled);

  platform::Async<bool> isMultiCamSessionEnabled();
  platform::Async<bool> isTorchEnabled();
  platform::Async<CaptureSessionConvertible::Preset> sessionPreset();
  platform::Async<bool> isMonitoringEnabled();
  platform::Async<AudioMixerSettings> audioMixerSettings();
  platform::Async<VideoMixerSettings> videoMixerSettings();
  platform::Async<AudioMixer::InputFormats> audioInputFormats();
  platform::Async<VideoMixer::InputFormats> videoInputFormats();
  platform::Async<double> frameRate();
  platform::Async<DynamicRangeMode> dynamicRangeMode();
  platform::Async<bool> isCapturing();
  // Whether the session is interrupted, from the next change on.
  platform::Async<platform::AsyncStream<bool>> isInterputted();
  platform::Async<platform::AVCaptureVideoOrientation> videoOrientation();

  // Application-made media, handled as if captured.
  platform::Async<void> append(platform::CMSampleBuffer sampleBuffer, std::uint8_t track = 0);
  platform::Async<void> append(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                               std::shared_ptr<platform::AVAudioTime> when, std::uint8_t track = 0);

  platform::Async<void> addOutput(std::shared_ptr<MediaMixerOutput> output);
  platform::Async<void> removeOutput(std::shared_ptr<MediaMixerOutput> output);

  platform::Async<void> startCapturing();
  platform::Async<void> stopCapturing();

  // The compositing surface of offscreen mode, made on first use. On
  // ScreenActor only.
  const std::shared_ptr<Screen>& screen();

 private:
  // The session and units, made on first use; on the strand.
  const std::shared_ptr<CaptureSessionConvertible>& session();
  const std::shared_ptr<AudioCaptureUnit>& audioIO();
  const std::shared_ptr<VideoCaptureUnit>& videoIO();

  void startCapturingNow();
  void stopCapturingNow();
  void startRouting();
  void observe();
  platform::Async<void> routeVideoInputs(platform::AsyncStream<VideoCaptureUnit::Input> inputs);
  platform::Async<void> routeMixedVideo(platform::AsyncStream<platform::CMSampleBuffer> output);
  platform::Async<void> routeMixedAudio(platform::AsyncStream<AudioCaptureUnit::Element> audio);
  // Starts or stops the display-link loop for the mode, while running.
  void switchDisplayLink(VideoMixerSettings::Mode mode);
  static platform::Async<void> runDisplayLink(std::shared_ptr<MediaMixer> self);
  platform::Async<std::vector<std::shared_ptr<MediaMixerOutput>>> currentOutputs();
  // Runs `work` with the screen on ScreenActor, later.
  void onScreen(std::function<void(MediaMixer&, Screen&)> work);
  platform::Async<void> watchRuntimeErrors(platform::AsyncStream<platform::AVError> errors);
  void sessionRuntimeErrorOccured(const platform::AVError& error);
  void didEnterBackground();
  void willEnterForeground();
  void didAudioSessionInterruption(const platform::Notification& notification);
  // Posts `work` onto the strand for a notification, while the mixer lives.
  void onStrand(std::function<void(MediaMixer&)> work);

  const CaptureSessionMode captureSessionMode_;
  const bool isMultiTrackAudioMixingEnabled_;
  double frameRate_ = 30.0;
  DynamicRangeMode dynamicRangeMode_ = DynamicRangeMode::sdr;
  bool isRunning_ = false;
  bool isInBackground_ = false;
  std::vector<std::shared_ptr<MediaMixerOutput>> outputs_;
  std::shared_ptr<CaptureSessionConvertible> session_;
  std::shared_ptr<AudioCaptureUnit> audioIO_;
  std::shared_ptr<VideoCaptureUnit> videoIO_;
  const std::shared_ptr<DisplayLinkChoreographer> displayLink_;
  std::shared_ptr<Screen> screen_;  // on ScreenActor
  // The three routing tasks of a run, on the strand.
  platform::TaskGroup routing_{strand()};
};

}  // namespace fluvio
