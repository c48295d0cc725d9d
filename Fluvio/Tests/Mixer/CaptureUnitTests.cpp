#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <thread>

#include "Fluvio/Sources/Mixer/AudioCaptureUnit.hpp"
#include "Fluvio/Sources/Mixer/CaptureSession.hpp"
#include "Fluvio/Sources/Mixer/NullCaptureSession.hpp"
#include "Fluvio/Sources/Mixer/VideoCaptureUnit.hpp"
#include "Fluvio/Tests/Mixer/Collector.hpp"
#include "Fluvio/Tests/Mixer/MixerTestSupport.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/AVFoundation/SyntheticCameraSource.hpp"
#include "Platform/AVFoundation/ToneMicrophoneSource.hpp"
#include "Platform/AudioToolbox/DeviceOutputUnit.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"

namespace fluvio {
namespace {

using platform::AVCaptureVideoOrientation;
using testing::Collector;

struct Capture {
  std::shared_ptr<CaptureSession> session;
  std::shared_ptr<VideoCaptureUnit> video;
  std::shared_ptr<AudioCaptureUnit> audio;
  explicit Capture(bool multiCam = false, bool multiTrack = false)
      : session(CaptureSession::make(multiCam)),
        video(VideoCaptureUnit::make(session)),
        audio(AudioCaptureUnit::make(session, multiTrack)) {}
  ~Capture() { session->stopRunning(); }
  template <class Body>
  void configure(Body&& body) {
    session->configuration([&](platform::AVCaptureSession&) { body(); });
  }
};

// The synthetic camera and microphone through a running session: frames
// turned to the orientation, in time order; audio mixed into contiguous blocks.
TEST(CaptureUnits, SyntheticDevicesDeliverThroughTheSession) {
  Capture capture;
  auto camera = platform::SyntheticCameraSource::makeDevice();
  capture.configure([&] {
    capture.video->attachVideo(camera, 0, [](VideoDeviceUnit& unit) { unit.setFrameRate(60); });
    capture.audio->attachAudio(platform::ToneMicrophoneSource::makeDevice(), 0);
  });
  Collector<VideoCaptureUnit::Input> frames(capture.video->inputs());
  Collector<platform::CMSampleBuffer> mixed(capture.video->output());
  auto [stream, continuation] = platform::AsyncStream<AudioCaptureUnit::Element>::makeStream();
  capture.audio->setContinuation(continuation);
  Collector<AudioCaptureUnit::Element> audio(stream);
  capture.session->startRunning();
  EXPECT_TRUE(capture.session->isCapturing());
  ASSERT_TRUE(frames.waitFor(10));
  ASSERT_TRUE(mixed.waitFor(10));
  ASSERT_TRUE(audio.waitFor(10));
  const auto received = frames.elements();
  for (std::size_t i = 1; i < received.size(); ++i) {
    EXPECT_EQ(received[i].first, 0);
    EXPECT_LT(received[i - 1].second.presentationTimeStamp(), received[i].second.presentationTimeStamp());
  }
  // Portrait by default: the landscape camera comes out upright.
  EXPECT_EQ(received[0].second.imageBuffer()->width(), 720u);
  EXPECT_EQ(received[0].second.imageBuffer()->height(), 1280u);
  EXPECT_EQ(camera->activeVideoMinFrameDuration(), platform::CMTime::make(100, 6000));
  EXPECT_EQ(capture.video->inputFormats().size(), 1u);
  const auto blocks = audio.elements();
  for (std::size_t i = 1; i < blocks.size(); ++i) {
    EXPECT_EQ(blocks[i].second->sampleTime() - blocks[i - 1].second->sampleTime(), 1024);
    EXPECT_NE(blocks[i].first, blocks[i - 1].first);  // each a copy of its own
  }
  EXPECT_EQ(blocks[0].first->frameLength(), 1024u);
  EXPECT_EQ(capture.audio->inputFormats().size(), 1u);

  capture.video->setVideoOrientation(AVCaptureVideoOrientation::landscapeRight);
  capture.video->applyVideoOrientation();
  const auto seen = frames.elements().size();
  ASSERT_TRUE(frames.waitFor(seen + 5));
  EXPECT_EQ(frames.elements().back().second.imageBuffer()->width(), 1280u);
  capture.session->stopRunning();
  capture.video->finishFlows();
  capture.audio->finishContinuation();
  EXPECT_FALSE(capture.session->isCapturing());
}

TEST(CaptureUnits, AttachRules) {
  Capture capture;
  auto front = platform::SyntheticCameraSource::makeDevice(platform::AVCaptureDevicePosition::front);
  capture.configure([&] { capture.video->attachVideo(platform::SyntheticCameraSource::makeDevice(), 0); });
  // A second camera needs a multi-camera session.
  EXPECT_THROW(capture.configure([&] { capture.video->attachVideo(front, 1); }), VideoCaptureUnit::Error);
  EXPECT_FALSE(capture.video->devices().contains(1));
  // A device that cannot be opened throws and leaves the track without a unit.
  auto gone = platform::SyntheticCameraSource::makeDevice();
  gone->setConnected(false);
  EXPECT_THROW(capture.configure([&] { capture.audio->attachAudio(gone, 0); }), platform::AVError);
  EXPECT_TRUE(capture.audio->devices().empty());
  // Attaching no device detaches.
  capture.configure([&] { capture.video->attachVideo(nullptr, 0); });
  EXPECT_TRUE(capture.video->devices().empty());
  EXPECT_TRUE(capture.session->session()->inputs().empty());

  Capture multi(true);
  multi.configure([&] {
    multi.video->attachVideo(platform::SyntheticCameraSource::makeDevice(), 0);
    multi.video->attachVideo(front, 1);
  });
  EXPECT_EQ(multi.video->devices().size(), 2u);
  EXPECT_EQ(multi.session->session()->connections().size(), 2u);
  multi.video->suspend();
  multi.video->suspend();
  EXPECT_TRUE(multi.session->session()->inputs().empty());
  multi.video->resume();
  EXPECT_EQ(multi.session->session()->inputs().size(), 2u);
  multi.video->resume();
  EXPECT_EQ(multi.session->session()->inputs().size(), 2u);
}

TEST(VideoDeviceUnitSettings, FrameRateTorchAndConnections) {
  auto camera = platform::SyntheticCameraSource::makeDevice();
  VideoDeviceUnit unit(0, camera);
  const auto format = camera->activeFormat();
  unit.setFrameRate(30);
  EXPECT_EQ(camera->activeFormat(), format);
  EXPECT_EQ(camera->activeVideoMinFrameDuration(), platform::CMTime::make(100, 3000));
  EXPECT_EQ(camera->activeVideoMaxFrameDuration(), platform::CMTime::make(100, 3000));
  unit.setFrameRate(29.97);
  EXPECT_EQ(camera->activeVideoMinFrameDuration(), platform::CMTime::make(100, 2997));
  for (const double rate : {240.0, 0.0, -5.0, 1e12}) {
    EXPECT_THROW(unit.setFrameRate(rate), VideoDeviceUnit::Error) << rate;
    EXPECT_EQ(unit.frameRate(), 29.97);
  }
  camera->lockForConfiguration();  // a failed set released its lock: this one is ours
  camera->unlockForConfiguration();
  unit.setTorchMode(platform::AVCaptureTorchMode::on);
  EXPECT_EQ(camera->torchMode(), platform::AVCaptureTorchMode::off);
  // Before attaching, only the field changes.
  unit.setVideoMirrored(true);
  EXPECT_TRUE(unit.isVideoMirrored());
  EXPECT_TRUE(unit.output()->connections().empty());
  ASSERT_NE(unit.connection(), nullptr);
  EXPECT_EQ(unit.colorFormat(), platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
}

std::shared_ptr<platform::AVCaptureDevice::Format> videoFormat(platform::OSType pixelFormat, std::int32_t width,
                                                               std::int32_t height) {
  return platform::AVCaptureDevice::Format::make(
      platform::CMFormatDescription::makeVideo(pixelFormat, {width, height}).value,
      {platform::AVFrameRateRange::make(1, 30)}, false);
}

// The mode takes the format of the active size in its pixel format, both
// ways; without one it is refused with the mode and nothing changes.
TEST(VideoDeviceUnitSettings, DynamicRangeTakesAFormatOfTheActiveSize) {
  using platform::kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange;
  using platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;
  const auto sdr720 = videoFormat(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, 1280, 720);
  const auto hdr480 = videoFormat(kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange, 640, 480);
  const auto hdr720 = videoFormat(kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange, 1280, 720);
  const auto cameraOf = [](std::vector<std::shared_ptr<platform::AVCaptureDevice::Format>> formats) {
    return platform::AVCaptureDevice::make({"camera", "Camera"}, std::move(formats),
                                           std::make_shared<platform::SyntheticCameraSource>());
  };
  auto camera = cameraOf({sdr720, hdr480, hdr720});
  VideoDeviceUnit unit(0, camera);
  unit.setDynamicRangeMode(DynamicRangeMode::hdr);
  EXPECT_EQ(camera->activeFormat(), hdr720);
  EXPECT_EQ(unit.dynamicRangeMode(), DynamicRangeMode::hdr);
  unit.setDynamicRangeMode(DynamicRangeMode::sdr);
  EXPECT_EQ(camera->activeFormat(), sdr720);

  auto sdrOnly = cameraOf({sdr720, hdr480});
  VideoDeviceUnit plain(0, sdrOnly);
  try {
    plain.setDynamicRangeMode(DynamicRangeMode::hdr);
    ADD_FAILURE() << "no error";
  } catch (const VideoDeviceUnit::Error& error) {
    EXPECT_EQ(error.errorCase(), VideoDeviceUnit::Error::Case::unsupportedDynamicRangeMode);
    EXPECT_EQ(error.mode(), DynamicRangeMode::hdr);
  }
  EXPECT_EQ(sdrOnly->activeFormat(), sdr720);
  EXPECT_EQ(plain.dynamicRangeMode(), DynamicRangeMode::sdr);
  sdrOnly->lockForConfiguration();  // the refusal released its lock
  sdrOnly->unlockForConfiguration();
}

TEST(CaptureSessionEvents, RuntimeErrorsAndInterruptions) {
  auto session = CaptureSession::make(false);
  session->startRunning();
  Collector<platform::AVError> errors(session->runtimeError());
  Collector<bool> interrupted(session->isInturreped());
  auto& center = platform::NotificationCenter::defaultCenter();
  const auto object = std::shared_ptr<const void>(session->session(), session->session().get());
  center.post(std::string(platform::AVCaptureSessionRuntimeErrorNotification), object, {});
  center.post(std::string(platform::AVCaptureSessionRuntimeErrorNotification), object,
              {{std::string(platform::AVCaptureSessionErrorKey), std::string("not a code")}});
  center.post(std::string(platform::AVCaptureSessionRuntimeErrorNotification), object,
              {{std::string(platform::AVCaptureSessionErrorKey), std::int64_t(-11819)}});
  center.post(std::string(platform::AVCaptureSessionWasInterruptedNotification), object);
  center.post(std::string(platform::AVCaptureSessionInterruptionEndedNotification), object);
  center.post(std::string(platform::AVCaptureSessionWasInterruptedNotification), nullptr);  // another object
  ASSERT_TRUE(errors.waitFor(1));
  ASSERT_TRUE(interrupted.waitFor(2));
  session->stopRunning();
  EXPECT_TRUE(errors.waitFinished());
  ASSERT_EQ(errors.elements().size(), 1u);
  EXPECT_EQ(errors.elements()[0].code(), -11819);
  EXPECT_EQ(interrupted.elements(), (std::vector<bool>{true, false}));
}

// A camera whose starts are scripted: it runs, refuses to start, or starts
// and then fails once from a thread of its own, so early that the session has
// stopped before the start returns.
class ScriptedSource final : public platform::AVCaptureDeviceSource {
 public:
  enum class Start { runs, refuses, failsJustAfterOnce };

  explicit ScriptedSource(std::weak_ptr<platform::AVCaptureSession> session) : session_(std::move(session)) {}
  ~ScriptedSource() override {
    if (failing_.joinable()) failing_.join();
  }

  void setNext(Start start) { next_ = start; }
  std::size_t starts() const {
    std::lock_guard lock(mutex_);
    return starts_;
  }
  bool waitForStarts(std::size_t count) {
    std::unique_lock lock(mutex_);
    return started_.wait_for(lock, std::chrono::seconds(20), [&] { return starts_ >= count; });
  }

  bool isAvailable() const override { return true; }
  bool start(const platform::AVCaptureDevice&, Deliver, Failure failure) override {
    if (failing_.joinable()) failing_.join();
    const auto how = next_.load();
    if (how == Start::failsJustAfterOnce) {
      next_ = Start::runs;
      failing_ = std::thread([failure] { failure(platform::AVError::unknown); });
      // The failure stops the session at once, then waits for this start to end.
      while (sessionRuns()) std::this_thread::yield();
    }
    {
      std::lock_guard lock(mutex_);
      ++starts_;
    }
    started_.notify_all();
    return how != Start::refuses;
  }
  void stop() override {}

 private:
  bool sessionRuns() const {
    const auto session = session_.lock();
    return session && session->isRunning();
  }

  const std::weak_ptr<platform::AVCaptureSession> session_;
  std::atomic<Start> next_ = Start::runs;
  mutable std::mutex mutex_;
  std::condition_variable started_;
  std::size_t starts_ = 0;
  std::thread failing_;
};

// A running session with the scripted camera, whose back-off runs on a clock
// moved by hand.
struct ScriptedCapture {
  using Clock = RestartBackOff::Clock;
  std::shared_ptr<std::atomic<Clock::rep>> clock = std::make_shared<std::atomic<Clock::rep>>(0);
  std::shared_ptr<CaptureSession> session =
      CaptureSession::make(false, [clock = clock] { return Clock::time_point(Clock::duration(clock->load())); });
  platform::AVCaptureSession& platformSession = *session->session();
  std::shared_ptr<ScriptedSource> source = std::make_shared<ScriptedSource>(session->session());
  std::shared_ptr<VideoDeviceUnit> unit = std::make_shared<VideoDeviceUnit>(
      0, platform::AVCaptureDevice::make({"scripted-camera", "Scripted Camera"},
                                         platform::SyntheticCameraSource::makeDevice()->formats(), source));

  std::unique_ptr<Collector<platform::AVError>> errors;

  ScriptedCapture() {
    session->configuration([&](platform::AVCaptureSession&) { session->attach(unit.get()); });
    session->startRunning();
    errors = std::make_unique<Collector<platform::AVError>>(session->runtimeError());
  }
  ~ScriptedCapture() { session->stopRunning(); }
  // Long enough since the last restart that the next one comes at once.
  void quietSpell() { *clock += Clock::duration(RestartBackOff::longestDelay * 2).count(); }
  // Returns once the session's queue has run what came before: a runtime
  // error posted now is reported after it.
  void settle() {
    const auto seen = errors->elements().size();
    const auto object = std::shared_ptr<const void>(session->session(), &platformSession);
    platform::NotificationCenter::defaultCenter().post(
        std::string(platform::AVCaptureSessionRuntimeErrorNotification), object,
        {{std::string(platform::AVCaptureSessionErrorKey), std::int64_t(platform::AVError::mediaServicesWereReset)}});
    ASSERT_TRUE(errors->waitFor(seen + 1));
  }
};

// A device that keeps failing is restarted at once, then only after the
// back-off's pause, by a retry of the session's own. The pauses run on the
// session's clock, moved here by hand; the retries wait on real timers,
// which never fire early.
TEST(CaptureSessionEvents, RestartsAfterFailureBackOff) {
  using Clock = RestartBackOff::Clock;
  ScriptedCapture capture;
  auto& platformSession = capture.platformSession;
  const auto stopAfterTheRestart = [&] {
    ASSERT_TRUE(platform::testing::eventually([&] { return platformSession.isRunning(); }));
    capture.settle();  // the restart has read back that the session runs
    platformSession.stopRunning();
  };
  platformSession.stopRunning();  // the device went away
  capture.session->startRunningIfNeeded();
  stopAfterTheRestart();

  using namespace std::chrono_literals;
  const struct {
    Clock::duration sinceRestart, pause;
  } failures[] = {{100ms, 250ms}, {100ms, 500ms}};
  for (const auto& failure : failures) {
    *capture.clock += failure.sinceRestart.count();
    const auto asked = Clock::now();
    capture.session->startRunningIfNeeded();
    capture.session->startRunningIfNeeded();
    stopAfterTheRestart();
    EXPECT_GE(Clock::now() - asked, failure.pause - failure.sinceRestart) << "not before the pause ends";
  }
  EXPECT_EQ(capture.source->starts(), 4u) << "one start, then one per restart";
}

// A restart reads back whether the platform session runs: one whose device
// refuses leaves isRunning false, and the back-off's retry that starts it
// sets it true again. A start while a restart has failed observes once.
TEST(CaptureSessionEvents, RestartTakesThePlatformState) {
  ScriptedCapture capture;
  ASSERT_TRUE(capture.session->isRunning());
  auto& errors = *capture.errors;

  capture.source->setNext(ScriptedSource::Start::refuses);
  capture.platformSession.stopRunning();
  capture.quietSpell();
  capture.session->startRunningIfNeeded();
  ASSERT_TRUE(errors.waitFor(1)) << "the refusal is reported";
  EXPECT_EQ(errors.elements()[0].code(), platform::AVError::unknown);
  EXPECT_FALSE(capture.session->isRunning());
  capture.session->startRunning();
  EXPECT_FALSE(capture.session->isRunning());
  EXPECT_FALSE(capture.platformSession.isRunning());

  const auto refused = capture.source->starts();
  capture.source->setNext(ScriptedSource::Start::runs);
  ASSERT_TRUE(platform::testing::eventually([&] { return capture.session->isRunning(); }))
      << "a retry that starts the session sets isRunning";
  EXPECT_TRUE(capture.platformSession.isRunning());
  EXPECT_GT(capture.source->starts(), refused);

  Collector<bool> interrupted(capture.session->isInturreped());
  auto& center = platform::NotificationCenter::defaultCenter();
  const auto object = std::shared_ptr<const void>(capture.session->session(), &capture.platformSession);
  center.post(std::string(platform::AVCaptureSessionWasInterruptedNotification), object);
  center.post(std::string(platform::AVCaptureSessionInterruptionEndedNotification), object);
  ASSERT_TRUE(interrupted.waitFor(2));
  EXPECT_EQ(interrupted.elements(), (std::vector<bool>{true, false})) << "each observer once";
}

// A device that fails just after a restart started it has stopped the session
// before the restart reads back; its error, seen after that, still brings the
// back-off's retry, not before the pause.
TEST(CaptureSessionEvents, RetriesADeviceThatFailsJustAfterItStarts) {
  ScriptedCapture capture;
  auto& errors = *capture.errors;
  const auto startsBefore = capture.source->starts();
  capture.source->setNext(ScriptedSource::Start::failsJustAfterOnce);
  capture.platformSession.stopRunning();
  const auto asked = std::chrono::steady_clock::now();
  capture.session->startRunningIfNeeded();
  ASSERT_TRUE(errors.waitFor(1));
  ASSERT_TRUE(capture.source->waitForStarts(startsBefore + 2)) << "the failure is retried";
  EXPECT_GE(std::chrono::steady_clock::now() - asked, RestartBackOff::firstDelay);
  ASSERT_TRUE(platform::testing::eventually([&] { return capture.session->isRunning(); }));
  EXPECT_TRUE(capture.platformSession.isRunning());
  EXPECT_EQ(errors.elements().size(), 1u);
}

TEST(NullCaptureSessionBehaviour, AcceptsEverythingAndDoesNothing) {
  NullCaptureSession session;
  session.setSessionPreset(platform::AVCaptureSession::Preset::vga640x480);
  EXPECT_EQ(session.sessionPreset(), platform::AVCaptureSession::Preset::hd1280x720);
  bool called = false;
  session.configuration([&](platform::AVCaptureSession&) { called = true; });
  EXPECT_FALSE(called);
  EXPECT_EQ(session.synchronizationClock(), nullptr);
  session.startRunning();
  EXPECT_TRUE(session.isRunning());
  EXPECT_FALSE(session.isCapturing());
  Collector<platform::AVError> errors(session.runtimeError());
  session.stopRunning();
  EXPECT_TRUE(errors.waitFinished());
}

TEST(CaptureSessionConfiguration, CommitsAndRethrows) {
  auto session = CaptureSession::make(false);
  EXPECT_THROW(session->configuration([](platform::AVCaptureSession&) { throw std::runtime_error("closure"); }),
               std::runtime_error);
  // Committed: a unit attached now takes effect at once.
  auto unit = std::make_shared<AudioDeviceUnit>(0, platform::ToneMicrophoneSource::makeDevice());
  EXPECT_TRUE(session->attach(unit.get()));
  EXPECT_EQ(session->session()->connections().size(), 1u);
  session->setSessionPreset(platform::AVCaptureSession::Preset::vga640x480);
  EXPECT_EQ(session->session()->sessionPreset(), platform::AVCaptureSession::Preset::vga640x480);
  auto multi = CaptureSession::make(true);
  multi->setSessionPreset(platform::AVCaptureSession::Preset::vga640x480);  // refused by the session, kept
  EXPECT_EQ(multi->sessionPreset(), platform::AVCaptureSession::Preset::vga640x480);
  EXPECT_NE(multi->session()->sessionPreset(), platform::AVCaptureSession::Preset::vga640x480);
}

// Monitoring plays the mixed audio on the device output: the samples the
// device renders are the ones appended.
TEST(AudioMonitoring, PlaysTheMixThroughTheDevice) {
  std::mutex mutex;
  std::vector<std::int16_t> played;
  std::shared_ptr<platform::NullAudioDevice> device;
  platform::DeviceOutputUnit::setDeviceFactory([&] {
    device = platform::NullAudioDevice::make(testing::int16Format(48000), 1024, platform::NullAudioDevice::Clock::manual,
                                             [&](const platform::AVAudioPCMBuffer& period) {
                                               std::lock_guard lock(mutex);
                                               const auto* samples = period.int16ChannelData()[0];
                                               played.assign(samples, samples + 2048);
                                             });
    return device;
  });
  auto unit = AudioCaptureUnit::make(std::make_shared<NullCaptureSession>(), false);
  testing::ToneSource tone{testing::int16Format(48000), 4321};
  auto [first, firstTime] = tone.next(1024);
  unit->append(first, firstTime, 0);
  unit->setMonitoringEnabled(true);
  for (int i = 0; i < 3; ++i) {
    auto [buffer, when] = tone.next(1024);
    unit->append(buffer, when, 0);
  }
  std::promise<void> drained;
  unit->lockQueue()->async([&] { drained.set_value(); });
  drained.get_future().wait();
  ASSERT_NE(device, nullptr);
  device->advance(2);
  {
    std::lock_guard lock(mutex);
    ASSERT_EQ(played.size(), 2048u);
    EXPECT_EQ(played.front(), 4321);
    EXPECT_EQ(played.back(), 4321);
  }
  unit->setMonitoringEnabled(false);
  std::promise<void> stopped;
  unit->lockQueue()->async([&] { stopped.set_value(); });
  stopped.get_future().wait();
  platform::DeviceOutputUnit::setDeviceFactory({});
}

}  // namespace
}  // namespace fluvio
