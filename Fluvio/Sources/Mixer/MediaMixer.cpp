#include "Fluvio/Sources/Mixer/MediaMixer.hpp"

#include <asio/post.hpp>
#include <cmath>

#include "Fluvio/Sources/Extension/AVCaptureDeviceExtension.hpp"
#include "Fluvio/Sources/Extension/AVCaptureSessionPresetExtension.hpp"
#include "Fluvio/Sources/Mixer/CaptureSession.hpp"
#include "Fluvio/Sources/Mixer/NullCaptureSession.hpp"
#include "Fluvio/Sources/Screen/ScreenActor.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Platform/AVFoundation/AVAudioSession.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/Foundation/LifecycleNotifications.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"

namespace fluvio {

namespace {

using platform::Async;

// A plain body as the callable isolated() takes: the coroutine it returns
// runs the body on the actor's strand. Erased to its result type, so that the
// members below share one set of coroutines per result type instead of
// making their own; a media buffer's call keeps its own coroutine instead,
// as the erased body may take a heap block for its captures.
template <class T>
class OnActor {
 public:
  template <class Body>
  explicit OnActor(Body body) : body_(std::move(body)) {}
  Async<T> operator()() { co_return body_(); }

 private:
  std::function<T()> body_;
};

template <class Body>
OnActor<std::invoke_result_t<Body>> onActor(Body body) {
  return OnActor<std::invoke_result_t<Body>>(std::move(body));
}

const char* caseName(MediaMixer::Error::Case errorCase) {
  return errorCase == MediaMixer::Error::Case::failedToAttach ? "failedToAttach" : "deviceNotFound";
}

// Preset sides, or the largest value for a preset without known sides.
std::int32_t sideOr(std::optional<std::int32_t> side) { return side.value_or(2147483647); }

// The video-track objects of a container: its own children first, then
// those of each child container, in child order.
void collectVideoTracks(const ScreenObjectContainer& container, std::vector<std::shared_ptr<VideoTrackScreenObject>>& into) {
  for (const auto& child : container.children()) {
    if (auto track = std::dynamic_pointer_cast<VideoTrackScreenObject>(child)) into.push_back(std::move(track));
  }
  for (const auto& child : container.children()) {
    if (const auto* inner = dynamic_cast<const ScreenObjectContainer*>(child.get())) collectVideoTracks(*inner, into);
  }
}

std::vector<std::shared_ptr<VideoTrackScreenObject>> videoTracks(Screen& screen) {
  std::vector<std::shared_ptr<VideoTrackScreenObject>> tracks;
  collectVideoTracks(*screen.root(), tracks);
  return tracks;
}

// Resumes once the queue has run everything posted to it before.
Async<void> drained(const platform::SerialQueue& queue) {
  return platform::withContinuation<void>([&queue](platform::Continuation<void> done) {
    queue.async([done] { done.resume(); });
  });
}

bool isDisplayRate(double frameRate) { return std::isfinite(frameRate) && frameRate >= 1 && frameRate <= 1000; }

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

std::shared_ptr<MediaMixer> MediaMixer::make(CaptureSessionMode captureSessionMode, bool multiTrackAudioMixingEnabled,
                                             std::shared_ptr<platform::DisplayTickSource> displayTickSource) {
  return Actor::make<MediaMixer>(captureSessionMode, multiTrackAudioMixingEnabled, std::move(displayTickSource));
}

MediaMixer::MediaMixer(Key key, CaptureSessionMode captureSessionMode, bool multiTrackAudioMixingEnabled,
                       std::shared_ptr<platform::DisplayTickSource> displayTickSource)
    : AsyncRunner(key),
      captureSessionMode_(captureSessionMode),
      isMultiTrackAudioMixingEnabled_(multiTrackAudioMixingEnabled),
      displayLink_(DisplayLinkChoreographer::make(std::move(displayTickSource))) {}

const std::shared_ptr<Screen>& MediaMixer::screen() {
  if (!screen_) screen_ = Screen::make();
  return screen_;
}

void MediaMixer::onScreen(std::function<void(MediaMixer&, Screen&)> work) {
  asio::post(ScreenActor::shared().executor(), [self = shared_from_this(), work = std::move(work)] {
    work(*self, *self->screen());
  });
}

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
  return isolated(onActor([this, settings] {
    if (settings.mode != videoIO()->settings().mode) switchDisplayLink(settings.mode);
    videoIO()->setSettings(settings);
    onScreen([mainTrack = settings.mainTrack](MediaMixer&, Screen& screen) {
      screen.videoTrackScreenObject()->setTrack(mainTrack);
    });
  }));
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
    } else {
      if (!isDisplayRate(frameRate)) throw VideoDeviceUnit::Error(VideoDeviceUnit::Error::Case::unsupportedFrameRate);
      onScreen([frameRate](MediaMixer& mixer, Screen&) {
        mixer.displayLink_->setPreferredFramesPerSecond(static_cast<int>(frameRate));
      });
    }
    frameRate_ = frameRate;
  }));
}

Async<void> MediaMixer::setDynamicRangeMode(DynamicRangeMode mode) {
  return isolated(onActor([this, mode] {
    if (mode == dynamicRangeMode_) return;
    onScreen([mode](MediaMixer&, Screen& screen) { screen.setDynamicRangeMode(mode); });
    const auto& video = videoIO();
    if (video->dynamicRangeMode() != mode) {
      video->setDynamicRangeMode(mode);
      try {
        session()->configuration([&](platform::AVCaptureSession&) { video->applyDynamicRangeMode(); });
      } catch (const std::exception& error) {
        TP_DEBUG(logger(), "dynamic range of the cameras: ", error.what());
      }
    }
    dynamicRangeMode_ = mode;
  }));
}

Async<DynamicRangeMode> MediaMixer::dynamicRangeMode() {
  return isolated(onActor([this] { return dynamicRangeMode_; }));
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
Async<platform::AsyncStream<bool>> MediaMixer::isInterputted() {
  return isolated(onActor([this] { return session()->isInturreped(); }));
}
Async<platform::AVCaptureVideoOrientation> MediaMixer::videoOrientation() {
  return isolated(onActor([this] { return videoIO()->videoOrientation(); }));
}

Async<void> MediaMixer::append(platform::CMSampleBuffer sampleBuffer, std::uint8_t track) {
  return isolated([this, sampleBuffer = std::move(sampleBuffer), track]() mutable -> Async<void> {
    const auto& description = sampleBuffer.formatDescription();
    if (!description) co_return;
    if (description->mediaType() == platform::kCMMediaType_Audio) {
      audioIO()->append(std::move(sampleBuffer), track);
    } else if (description->mediaType() == platform::kCMMediaType_Video) {
      videoIO()->append(std::move(sampleBuffer), track);
    }
  });
}

Async<void> MediaMixer::append(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                               std::shared_ptr<platform::AVAudioTime> when, std::uint8_t track) {
  return isolated([this, audioBuffer = std::move(audioBuffer), when = std::move(when), track]() -> Async<void> {
    if (auto pcm = std::dynamic_pointer_cast<platform::AVAudioPCMBuffer>(audioBuffer)) audioIO()->append(pcm, when, track);
    co_return;
  });
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
  onScreen([clock = capture->synchronizationClock()](MediaMixer&, Screen& screen) {
    screen.renderer().setSynchronizationClock(clock);
  });
  platform::spawn(strand(), [self = shared_from_this(), errors = std::move(errors)]() -> Async<void> {
    auto watching = self->watchRuntimeErrors(errors);
    co_await std::move(watching);
  });
}

// Also when a failed restart left the session's isRunning false, so that it
// retries no more.
void MediaMixer::stopCapturingNow() {
  session()->stopRunning();
  onScreen([](MediaMixer&, Screen& screen) { screen.renderer().setSynchronizationClock(nullptr); });
}

Async<void> MediaMixer::startRunning() {
  return isolated(onActor([this] {
    if (isRunning_) return;
    isRunning_ = true;
    switchDisplayLink(videoIO()->settings().mode);
    startCapturingNow();
    startRouting();
    observe();
  }));
}

Async<void> MediaMixer::stopRunning() {
  return isolated([this]() -> Async<void> {
    if (!isRunning_) co_return;
    stopCapturingNow();
    // What was captured before the stop is mixed and reaches the outputs
    // before this returns, so a recorder stopped next has all of it.
    auto audioDrained = drained(*audioIO()->lockQueue());
    co_await std::move(audioDrained);
    auto videoDrained = drained(*videoIO()->lockQueue());
    co_await std::move(videoDrained);
    audioIO()->finishContinuation();
    videoIO()->finishFlows();
    auto routed = routing_.wait();
    co_await std::move(routed);
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    auto stopped = platform::withContinuation<void>([self = shared_from_this()](platform::Continuation<void> done) {
      self->onScreen([done](MediaMixer& mixer, Screen& screen) {
        mixer.displayLink_->stopRunning();
        for (const auto& track : videoTracks(screen)) track->reset();
        done.resume();
      });
    });
    co_await std::move(stopped);
    isRunning_ = false;
  });
}

void MediaMixer::switchDisplayLink(VideoMixerSettings::Mode mode) {
  if (!isRunning_) return;
  if (mode == VideoMixerSettings::Mode::passthrough) {
    onScreen([](MediaMixer& mixer, Screen&) { mixer.displayLink_->stopRunning(); });
    return;
  }
  platform::spawn(ScreenActor::shared().executor(), [self = shared_from_this()]() -> Async<void> {
    auto loop = runDisplayLink(self);
    co_await std::move(loop);
  });
}

Async<void> MediaMixer::runDisplayLink(std::shared_ptr<MediaMixer> self) {
  auto rate = self->frameRate();
  const double frameRate = co_await std::move(rate);
  self->displayLink_->setPreferredFramesPerSecond(static_cast<int>(frameRate));
  self->displayLink_->startRunning();
  auto ticks = self->displayLink_->updateFrames();
  while (auto tick = co_await ticks.next()) {
    auto frame = self->screen()->makeSampleBuffer(*tick);
    if (!frame) continue;
    auto outputs = self->currentOutputs();
    for (const auto& output : co_await std::move(outputs)) {
      auto id = output->videoTrackId();
      if (co_await std::move(id) == mixedTrack) output->mixer(*self, *frame);
    }
  }
}

Async<std::vector<std::shared_ptr<MediaMixerOutput>>> MediaMixer::currentOutputs() {
  return isolated(onActor([this] { return outputs_; }));
}

void MediaMixer::startRouting() {
  auto self = shared_from_this();
  routing_.spawn([self, inputs = videoIO()->inputs()]() -> Async<void> {
    auto routing = self->routeVideoInputs(inputs);
    co_await std::move(routing);
  });
  routing_.spawn([self, output = videoIO()->output()]() -> Async<void> {
    auto routing = self->routeMixedVideo(output);
    co_await std::move(routing);
  });
  auto [audio, continuation] = platform::AsyncStream<AudioCaptureUnit::Element>::makeStream();
  audioIO()->setContinuation(std::move(continuation));
  routing_.spawn([self, audio = std::move(audio)]() -> Async<void> {
    auto routing = self->routeMixedAudio(audio);
    co_await std::move(routing);
  });
}

Async<void> MediaMixer::routeVideoInputs(platform::AsyncStream<VideoCaptureUnit::Input> inputs) {
  while (auto element = co_await inputs.next()) {
    const auto settings = videoIO()->settings();
    if (settings.mode == VideoMixerSettings::Mode::offscreen) {
      onScreen([settings, element = *element](MediaMixer&, Screen& screen) {
        for (const auto& object : videoTracks(screen)) {
          if (object->track() == element.first) object->enqueue(element.second);
        }
        if (element.first == settings.mainTrack) screen.setVideoCaptureLatency(element.second.presentationTimeStamp());
      });
    }
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
