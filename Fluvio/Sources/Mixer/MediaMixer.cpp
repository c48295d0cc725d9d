#include "Fluvio/Sources/Mixer/MediaMixer.hpp"

#include <asio/post.hpp>

#include "Fluvio/Sources/Extension/AVCaptureDeviceExtension.hpp"
#include "Fluvio/Sources/Extension/AVCaptureSessionPresetExtension.hpp"
#include "Fluvio/Sources/Mixer/CaptureSession.hpp"
#include "Fluvio/Sources/Mixer/NullCaptureSession.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Platform/AVFoundation/AVAudioSession.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/Foundation/LifecycleNotifications.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"

namespace fluvio {

namespace {

using platform::Async;

// Runs `body` inside a coroutine frame that owns it, so the actor can run it
// on its strand.
template <class Body>
auto onActor(Body body) -> Async<std::invoke_result_t<Body>> {
  co_return body();
}

const char* caseName(MediaMixer::Error::Case errorCase) {
  return errorCase == MediaMixer::Error::Case::failedToAttach ? "failedToAttach" : "deviceNotFound";
}

// Preset sides, or the largest value for a preset without known sides.
std::int32_t sideOr(std::optional<std::int32_t> side) { return side.value_or(2147483647); }

}  // namespace

MediaMixer::Error::Error(Case errorCase, std::exception_ptr underlying)
    : case_(errorCase), underlying_(std::move(underlying)), message_(caseName(errorCase)) {
  if (!underlying_) return;
  try {
    std::rethrow_exception(underlying_);
  } catch (const std::exception& error) {
    message_ += std::string(": ") + error.what();
  } catch (...) {
  }
}

std::shared_ptr<MediaMixer> MediaMixer::make(CaptureSessionMode captureSessionMode, bool multiTrackAudioMixingEnabled) {
  return adopt(std::shared_ptr<MediaMixer>(new MediaMixer(captureSessionMode, multiTrackAudioMixingEnabled)));
}

MediaMixer::MediaMixer(CaptureSessionMode captureSessionMode, bool multiTrackAudioMixingEnabled)
    : captureSessionMode_(captureSessionMode), isMultiTrackAudioMixingEnabled_(multiTrackAudioMixingEnabled) {}

MediaMixer::~MediaMixer() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

const std::shared_ptr<CaptureSessionConvertible>& MediaMixer::session() {
  if (!session_) {
    switch (captureSessionMode_) {
      case CaptureSessionMode::single: session_ = CaptureSession::make(false); break;
      case CaptureSessionMode::multi:
        session_ = CaptureSession::make(platform::AVCaptureMultiCamSession::isMultiCamSupported());
        break;
      case CaptureSessionMode::manual: session_ = std::make_shared<NullCaptureSession>(); break;
    }
  }
  return session_;
}

const std::shared_ptr<AudioCaptureUnit>& MediaMixer::audioIO() {
  if (!audioIO_) audioIO_ = AudioCaptureUnit::make(session(), isMultiTrackAudioMixingEnabled_);
  return audioIO_;
}

const std::shared_ptr<VideoCaptureUnit>& MediaMixer::videoIO() {
  if (!videoIO_) videoIO_ = VideoCaptureUnit::make(session());
  return videoIO_;
}

Async<bool> MediaMixer::isRunning() const { return isolated(onActor([this] { return isRunning_; })); }

Async<void> MediaMixer::attachVideo(std::shared_ptr<platform::AVCaptureDevice> device, std::uint8_t track,
                                    VideoCaptureUnit::Configuration configuration) {
  return isolated(onActor([this, device = std::move(device), track, configuration = std::move(configuration)] {
    try {
      session()->configuration([&](platform::AVCaptureSession&) { videoIO()->attachVideo(device, track, configuration); });
    } catch (...) {
      throw Error(Error::Case::failedToAttach, std::current_exception());
    }
  }));
}

Async<void> MediaMixer::attachAudio(std::shared_ptr<platform::AVCaptureDevice> device, std::uint8_t track,
                                    AudioCaptureUnit::Configuration configuration) {
  return isolated(onActor([this, device = std::move(device), track, configuration = std::move(configuration)] {
    try {
      session()->configuration([&](platform::AVCaptureSession&) { audioIO()->attachAudio(device, track, configuration); });
    } catch (...) {
      throw Error(Error::Case::failedToAttach, std::current_exception());
    }
  }));
}

Async<void> MediaMixer::configuration(std::uint8_t videoTrack, VideoCaptureUnit::Configuration body) {
  return isolated(onActor([this, videoTrack, body = std::move(body)] {
    const auto& devices = videoIO()->devices();
    const auto it = devices.find(videoTrack);
    if (it == devices.end()) throw Error(Error::Case::deviceNotFound);
    body(*it->second);
  }));
}

Async<void> MediaMixer::configurationAudio(std::uint8_t audioTrack, AudioCaptureUnit::Configuration body) {
  return isolated(onActor([this, audioTrack, body = std::move(body)] {
    const auto& devices = audioIO()->devices();
    const auto it = devices.find(audioTrack);
    if (it == devices.end()) throw Error(Error::Case::deviceNotFound);
    body(*it->second);
  }));
}

Async<void> MediaMixer::configuration(CaptureSessionConvertible::Configuration body) {
  return isolated(onActor([this, body = std::move(body)] { session()->configuration(body); }));
}

Async<void> MediaMixer::setTorchEnabled(bool enabled) {
  return isolated(onActor([this, enabled] { videoIO()->setTorchEnabled(enabled); }));
}

Async<void> MediaMixer::setSessionPreset(CaptureSessionConvertible::Preset preset) {
  return isolated(onActor([this, preset] { session()->setSessionPreset(preset); }));
}

Async<void> MediaMixer::setVideoOrientation(platform::AVCaptureVideoOrientation orientation) {
  return isolated(onActor([this, orientation] {
    const auto& video = videoIO();
    if (video->videoOrientation() != orientation) {
      video->setVideoOrientation(orientation);
      session()->configuration([&](platform::AVCaptureSession&) { video->applyVideoOrientation(); });
    }
    if (video->isTorchEnabled()) video->setTorchEnabled(true);
  }));
}

Async<void> MediaMixer::setVideoMixerSettings(VideoMixerSettings settings) {
  return isolated(onActor([this, settings] { videoIO()->setSettings(settings); }));
}

Async<void> MediaMixer::setFrameRate(double frameRate) {
  return isolated(onActor([this, frameRate] {
    const auto& video = videoIO();
    const auto settings = video->settings();
    if (settings.mode == VideoMixerSettings::Mode::passthrough) {
      // The camera of the main track, not whichever comes first.
      if (auto it = video->devices().find(settings.mainTrack); it != video->devices().end()) {
        it->second->setFrameRate(frameRate);
      }
    }
    frameRate_ = frameRate;
  }));
}

Async<void> MediaMixer::setAudioMixerSettings(AudioMixerSettings settings) {
  return isolated(onActor([this, settings = std::move(settings)] { audioIO()->setSettings(settings); }));
}

Async<void> MediaMixer::setMonitoringEnabled(bool enabled) {
  return isolated(onActor([this, enabled] { audioIO()->setMonitoringEnabled(enabled); }));
}

Async<bool> MediaMixer::isMultiCamSessionEnabled() {
  return isolated(onActor([this] { return session()->isMultiCamSessionEnabled(); }));
}
Async<bool> MediaMixer::isTorchEnabled() { return isolated(onActor([this] { return videoIO()->isTorchEnabled(); })); }
Async<CaptureSessionConvertible::Preset> MediaMixer::sessionPreset() {
  return isolated(onActor([this] { return session()->sessionPreset(); }));
}
Async<bool> MediaMixer::isMonitoringEnabled() {
  return isolated(onActor([this] { return audioIO()->isMonitoringEnabled(); }));
}
Async<AudioMixerSettings> MediaMixer::audioMixerSettings() {
  return isolated(onActor([this] { return audioIO()->settings(); }));
}
Async<VideoMixerSettings> MediaMixer::videoMixerSettings() {
  return isolated(onActor([this] { return videoIO()->settings(); }));
}
Async<AudioMixer::InputFormats> MediaMixer::audioInputFormats() {
  return isolated(onActor([this] { return audioIO()->inputFormats(); }));
}
Async<VideoMixer::InputFormats> MediaMixer::videoInputFormats() {
  return isolated(onActor([this] { return videoIO()->inputFormats(); }));
}
Async<double> MediaMixer::frameRate() { return isolated(onActor([this] { return frameRate_; })); }
Async<bool> MediaMixer::isCapturing() { return isolated(onActor([this] { return session()->isCapturing(); })); }
Async<platform::AVCaptureVideoOrientation> MediaMixer::videoOrientation() {
  return isolated(onActor([this] { return videoIO()->videoOrientation(); }));
}

Async<void> MediaMixer::append(platform::CMSampleBuffer sampleBuffer, std::uint8_t track) {
  return isolated(onActor([this, sampleBuffer = std::move(sampleBuffer), track]() mutable {
    const auto& description = sampleBuffer.formatDescription();
    if (!description) return;
    if (description->mediaType() == platform::kCMMediaType_Audio) {
      audioIO()->append(std::move(sampleBuffer), track);
    } else if (description->mediaType() == platform::kCMMediaType_Video) {
      videoIO()->append(std::move(sampleBuffer), track);
    }
  }));
}

Async<void> MediaMixer::append(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                               std::shared_ptr<platform::AVAudioTime> when, std::uint8_t track) {
  return isolated(onActor([this, audioBuffer = std::move(audioBuffer), when = std::move(when), track] {
    if (auto pcm = std::dynamic_pointer_cast<platform::AVAudioPCMBuffer>(audioBuffer)) audioIO()->append(pcm, when, track);
  }));
}

Async<void> MediaMixer::addOutput(std::shared_ptr<MediaMixerOutput> output) {
  return isolated(onActor([this, output = std::move(output)] {
    if (std::find(outputs_.begin(), outputs_.end(), output) == outputs_.end()) outputs_.push_back(output);
  }));
}

Async<void> MediaMixer::removeOutput(std::shared_ptr<MediaMixerOutput> output) {
  return isolated(onActor([this, output = std::move(output)] {
    if (auto it = std::find(outputs_.begin(), outputs_.end(), output); it != outputs_.end()) outputs_.erase(it);
  }));
}

Async<void> MediaMixer::startCapturing() { return isolated(onActor([this] { startCapturingNow(); })); }
Async<void> MediaMixer::stopCapturing() { return isolated(onActor([this] { stopCapturingNow(); })); }

void MediaMixer::startCapturingNow() {
  const auto& capture = session();
  if (capture->isRunning()) {
    capture->startRunningIfNeeded();
    return;
  }
  // Subscribed first, so no error of the start itself is missed.
  auto errors = capture->runtimeError();
  capture->startRunning();
  platform::spawn(strand(), [self = shared_from_this(), errors = std::move(errors)]() -> Async<void> {
    auto watching = self->watchRuntimeErrors(errors);
    co_await std::move(watching);
  });
}

void MediaMixer::stopCapturingNow() {
  if (session()->isRunning()) session()->stopRunning();
}

Async<void> MediaMixer::startRunning() {
  return isolated(onActor([this] {
    if (isRunning_) return;
    isRunning_ = true;
    startCapturingNow();
    startRouting();
    observe();
  }));
}

Async<void> MediaMixer::stopRunning() {
  return isolated(onActor([this] {
    if (!isRunning_) return;
    stopCapturingNow();
    audioIO()->finishContinuation();
    videoIO()->finishFlows();
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    isRunning_ = false;
  }));
}

void MediaMixer::startRouting() {
  auto self = shared_from_this();
  platform::spawn(strand(), [self, inputs = videoIO()->inputs()]() -> Async<void> {
    auto routing = self->routeVideoInputs(inputs);
    co_await std::move(routing);
  });
  platform::spawn(strand(), [self, output = videoIO()->output()]() -> Async<void> {
    auto routing = self->routeMixedVideo(output);
    co_await std::move(routing);
  });
  auto [audio, continuation] = platform::AsyncStream<AudioCaptureUnit::Element>::makeStream();
  audioIO()->setContinuation(std::move(continuation));
  platform::spawn(strand(), [self, audio = std::move(audio)]() -> Async<void> {
    auto routing = self->routeMixedAudio(audio);
    co_await std::move(routing);
  });
}

Async<void> MediaMixer::routeVideoInputs(platform::AsyncStream<VideoCaptureUnit::Input> inputs) {
  while (auto element = co_await inputs.next()) {
    for (const auto& output : std::vector(outputs_)) {
      auto id = output->videoTrackId();
      if (co_await std::move(id) == element->first) output->mixer(*this, element->second);
    }
  }
}

Async<void> MediaMixer::routeMixedVideo(platform::AsyncStream<platform::CMSampleBuffer> video) {
  while (auto buffer = co_await video.next()) {
    for (const auto& output : std::vector(outputs_)) {
      auto id = output->videoTrackId();
      if (co_await std::move(id) == mixedTrack) output->mixer(*this, *buffer);
    }
  }
}

Async<void> MediaMixer::routeMixedAudio(platform::AsyncStream<AudioCaptureUnit::Element> audio) {
  while (auto element = co_await audio.next()) {
    for (const auto& output : std::vector(outputs_)) {
      auto id = output->audioTrackId();
      if (co_await std::move(id) == mixedTrack) output->mixer(*this, element->first, element->second);
    }
  }
}

Async<void> MediaMixer::watchRuntimeErrors(platform::AsyncStream<platform::AVError> errors) {
  while (auto error = co_await errors.next()) sessionRuntimeErrorOccured(*error);
}

void MediaMixer::sessionRuntimeErrorOccured(const platform::AVError& error) {
  switch (error.code()) {
    case platform::AVError::unsupportedDeviceActiveFormat: {
      const auto& device = error.device();
      if (!device) return;
      const auto preset = session()->sessionPreset();
      auto format = findVideoFormat(*device, sideOr(width(preset)), sideOr(height(preset)), frameRate_,
                                    session()->isMultiCamSessionEnabled());
      if (!format || format == device->activeFormat()) return;
      try {
        device->lockForConfiguration();
        device->setActiveFormat(format);
        if (isFrameRateSupported(*format, frameRate_) && frameRate_ * 100 >= 1 && frameRate_ * 100 <= 2147483647.0) {
          const auto duration = platform::CMTime::make(100, static_cast<std::int32_t>(frameRate_ * 100));
          device->setActiveVideoMinFrameDuration(duration);
          device->setActiveVideoMaxFrameDuration(duration);
        }
        device->unlockForConfiguration();
      } catch (const std::exception& lockError) {
        TP_WARN(logger(), lockError.what());
        return;
      }
      session()->startRunningIfNeeded();
      return;
    }
    case platform::AVError::mediaServicesWereReset:
      session()->startRunningIfNeeded();
      return;
    case platform::AVError::unknown:
      if (!isInBackground_) session()->startRunningIfNeeded();
      return;
    default:
      return;
  }
}

void MediaMixer::onStrand(std::function<void(MediaMixer&)> work) {
  asio::post(strand(), [weakSelf = weak_from_this(), work = std::move(work)] {
    if (auto self = weakSelf.lock()) work(*self);
  });
}

void MediaMixer::observe() {
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(
      this, [this](const platform::Notification&) { onStrand([](MediaMixer& mixer) { mixer.didEnterBackground(); }); },
      std::string(platform::UIApplicationDidEnterBackgroundNotification));
  center.addObserver(
      this, [this](const platform::Notification&) { onStrand([](MediaMixer& mixer) { mixer.willEnterForeground(); }); },
      std::string(platform::UIApplicationWillEnterForegroundNotification));
  center.addObserver(
      this,
      [this](const platform::Notification& notification) {
        onStrand([notification](MediaMixer& mixer) { mixer.didAudioSessionInterruption(notification); });
      },
      std::string(platform::AVAudioSessionInterruptionNotification), &platform::AVAudioSession::sharedInstance());
}

void MediaMixer::didEnterBackground() {
  isInBackground_ = true;
  if (!session()->isMultitaskingCameraAccessEnabled()) videoIO()->suspend();
}

void MediaMixer::willEnterForeground() {
  isInBackground_ = false;
  if (session()->isMultitaskingCameraAccessEnabled()) return;
  videoIO()->resume();
  session()->startRunningIfNeeded();
}

void MediaMixer::didAudioSessionInterruption(const platform::Notification& notification) {
  const auto* type = notification.userInfoValue(platform::AVAudioSessionInterruptionTypeKey);
  const auto value = type ? platform::unsignedValue(*type) : std::nullopt;
  if (!value) return;
  if (*value == static_cast<std::uint64_t>(platform::AVAudioSessionInterruptionType::began)) {
    audioIO()->suspend();
    session()->startRunningIfNeeded();
    TP_INFO(logger(), "Audio suspended due to system interruption.");
  } else if (*value == static_cast<std::uint64_t>(platform::AVAudioSessionInterruptionType::ended)) {
    const auto* options = notification.userInfoValue(platform::AVAudioSessionInterruptionOptionKey);
    const auto option = options ? platform::unsignedValue(*options) : std::nullopt;
    if (option && (*option & platform::AVAudioSessionInterruptionOptionShouldResume) != 0) audioIO()->resume();
    TP_INFO(logger(), "Audio resumed after system interruption");
  }
}

}  // namespace fluvio
