#include <gtest/gtest.h>

#include <mutex>

#include "Fluvio/Sources/Mixer/MediaMixer.hpp"
#include "Fluvio/Tests/Mixer/Collector.hpp"
#include "Fluvio/Tests/Mixer/CountingOutput.hpp"
#include "Fluvio/Tests/Mixer/MixerTestSupport.hpp"
#include "Platform/AVFoundation/AVAudioSession.hpp"
#include "Platform/AVFoundation/SyntheticCameraSource.hpp"
#include "Platform/AVFoundation/ToneMicrophoneSource.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Foundation/LifecycleNotifications.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"

namespace fluvio {
namespace {

using platform::Async;
using platform::blockOn;
using testing::CountingOutput;

// Application-made media in manual mode: raw frames reach the outputs of
// their track, the main track's frames the mixed-video outputs, mixed audio
// the mixed-audio outputs, and an output without a track nothing.
TEST(MediaMixerRouting, OutputsGetTheTracksTheySelect) {
  auto mixer = MediaMixer::make(MediaMixer::CaptureSessionMode::manual);
  auto raw1 = std::make_shared<CountingOutput>(1, std::nullopt);
  auto mixed = std::make_shared<CountingOutput>(MediaMixer::mixedTrack, MediaMixer::mixedTrack);
  auto none = std::make_shared<CountingOutput>(std::nullopt, std::nullopt);
  blockOn([&]() -> Async<void> {
    for (const auto& output : {std::static_pointer_cast<MediaMixerOutput>(raw1), std::static_pointer_cast<MediaMixerOutput>(mixed),
                               std::static_pointer_cast<MediaMixerOutput>(none)}) {
      co_await mixer->addOutput(output);
    }
    co_await mixer->addOutput(raw1);  // once only
    co_await mixer->startRunning();
    testing::ToneSource tone{testing::int16Format(48000), 1000};
    for (int i = 0; i < 4; ++i) {
      co_await mixer->append(testing::frame(i), 0);
      co_await mixer->append(testing::frame(i), 1);
      auto [buffer, when] = tone.next(1024);
      co_await mixer->append(buffer, when, 0);
    }
  });
  ASSERT_TRUE(raw1->waitFor(4, 0));
  ASSERT_TRUE(mixed->waitFor(4, 4));
  blockOn(mixer->stopRunning());
  EXPECT_EQ(raw1->frames().size(), 4u);
  EXPECT_EQ(mixed->frames().size(), 4u);
  EXPECT_EQ(none->frames().size() + none->audioBlocks(), 0u);
  EXPECT_EQ(blockOn(mixer->videoInputFormats()).size(), 2u);
  // Stopped: nothing more reaches the outputs; started again: it does.
  blockOn(mixer->removeOutput(none));
  blockOn(mixer->append(testing::frame(9), 1));
  blockOn(mixer->startRunning());
  blockOn(mixer->append(testing::frame(10), 1));
  ASSERT_TRUE(raw1->waitFor(5, 0));
  blockOn(mixer->stopRunning());
  EXPECT_EQ(raw1->frames().back().presentationTimeStamp(), platform::CMTime::make(10, 30));
}

// Everything appended before the stop has reached the outputs when
// stopRunning() returns: a recorder stopped right after loses nothing.
TEST(MediaMixerRouting, StopDeliversWhatCameBefore) {
  auto mixer = MediaMixer::make(MediaMixer::CaptureSessionMode::manual);
  auto output = std::make_shared<CountingOutput>(0, MediaMixer::mixedTrack, std::chrono::milliseconds(2));
  constexpr int kBlocks = 60;
  blockOn([&]() -> Async<void> {
    co_await mixer->addOutput(output);
    co_await mixer->startRunning();
    testing::ToneSource tone{testing::int16Format(48000), 1000};
    for (int i = 0; i < kBlocks; ++i) {
      auto [buffer, when] = tone.next(1024);
      co_await mixer->append(buffer, when, 0);
      co_await mixer->append(testing::frame(i), 0);
    }
    co_await mixer->stopRunning();
  });
  EXPECT_EQ(output->audioBlocks(), std::size_t(kBlocks));
  EXPECT_EQ(output->frames().size(), std::size_t(kBlocks));
}

TEST(MediaMixerConfiguration, ErrorsReachTheCaller) {
  auto mixer = MediaMixer::make(MediaMixer::CaptureSessionMode::single);
  bool called = false;
  try {
    blockOn(mixer->configuration(5, [&](VideoDeviceUnit&) { called = true; }));
    ADD_FAILURE() << "no error";
  } catch (const MediaMixer::Error& error) {
    EXPECT_EQ(error.errorCase(), MediaMixer::Error::Case::deviceNotFound);
  }
  EXPECT_FALSE(called);
  auto gone = platform::SyntheticCameraSource::makeDevice();
  gone->setConnected(false);
  try {
    blockOn(mixer->attachVideo(gone, 0));
    ADD_FAILURE() << "no error";
  } catch (const MediaMixer::Error& error) {
    EXPECT_EQ(error.errorCase(), MediaMixer::Error::Case::failedToAttach);
    EXPECT_THROW(std::rethrow_exception(error.underlying()), platform::AVError);
  }
  blockOn(mixer->attachVideo(platform::SyntheticCameraSource::makeDevice(), 0));
  // The camera runs 1...60 fps: 240 is refused and the rate stays.
  EXPECT_THROW(blockOn(mixer->setFrameRate(240)), VideoDeviceUnit::Error);
  EXPECT_EQ(blockOn(mixer->frameRate()), 30.0);
  blockOn(mixer->setFrameRate(60));
  EXPECT_EQ(blockOn(mixer->frameRate()), 60.0);
}

// Background suspends the cameras, foreground brings them back; an audio
// interruption suspends the microphones until it ends with "should resume".
TEST(MediaMixerSystemEvents, BackgroundForegroundAndInterruptions) {
  auto mixer = MediaMixer::make(MediaMixer::CaptureSessionMode::single);
  blockOn(mixer->attachVideo(platform::SyntheticCameraSource::makeDevice(), 0));
  auto frames = std::make_shared<CountingOutput>(0, std::nullopt);
  blockOn(mixer->addOutput(frames));
  blockOn(mixer->startRunning());
  ASSERT_TRUE(frames->waitFor(2, 0));
  auto& center = platform::NotificationCenter::defaultCenter();
  center.post(std::string(platform::UIApplicationDidEnterBackgroundNotification));
  const auto settled = [&] { blockOn(mixer->frameRate()); };  // the strand has run the handler
  settled();
  const auto before = frames->frames().size();
  // Any frame already queued arrives; after that, none while in the background.
  blockOn(mixer->isCapturing());
  center.post(std::string(platform::UIApplicationWillEnterForegroundNotification));
  settled();
  ASSERT_TRUE(frames->waitFor(before + 3, 0));

  const auto session = std::shared_ptr<const void>(&platform::AVAudioSession::sharedInstance(), [](const void*) {});
  const auto interruption = [&](std::uint64_t type, std::optional<std::uint64_t> options) {
    platform::NotificationUserInfo info{{std::string(platform::AVAudioSessionInterruptionTypeKey), type}};
    if (options) info[std::string(platform::AVAudioSessionInterruptionOptionKey)] = *options;
    center.post(std::string(platform::AVAudioSessionInterruptionNotification), session, info);
    settled();
  };
  blockOn(mixer->attachAudio(platform::ToneMicrophoneSource::makeDevice(), 0));
  interruption(1, std::nullopt);
  blockOn(mixer->stopRunning());
  blockOn(mixer->startRunning());
  interruption(0, 0);
  interruption(0, 1);
  blockOn(mixer->stopRunning());
}

// The interruption sequence follows the session: a capture session reports
// each interruption and its end from the next change on; the inert session of
// manual mode repeats that it is not interrupted.
TEST(MediaMixerSystemEvents, InterruptionsOfTheSession) {
  auto mixer = MediaMixer::make(MediaMixer::CaptureSessionMode::single);
  blockOn(mixer->startRunning());
  std::shared_ptr<const void> platformSession;
  blockOn(mixer->configuration([&](platform::AVCaptureSession& session) { platformSession = session.shared_from_this(); }));
  testing::Collector<bool> interrupted(blockOn(mixer->isInterputted()));
  auto& center = platform::NotificationCenter::defaultCenter();
  center.post(std::string(platform::AVCaptureSessionWasInterruptedNotification), platformSession);
  center.post(std::string(platform::AVCaptureSessionInterruptionEndedNotification), platformSession);
  center.post(std::string(platform::AVCaptureSessionWasInterruptedNotification), platformSession);
  ASSERT_TRUE(interrupted.waitFor(3));
  EXPECT_EQ(interrupted.elements(), (std::vector<bool>{true, false, true}));
  blockOn(mixer->stopRunning());
  center.post(std::string(platform::AVCaptureSessionInterruptionEndedNotification), platformSession);
  EXPECT_EQ(interrupted.elements().size(), 3u) << "a stopped session observes nothing";

  auto manual = MediaMixer::make(MediaMixer::CaptureSessionMode::manual);
  testing::Collector<bool> inert(blockOn(manual->isInterputted()));
  ASSERT_TRUE(inert.waitFor(1));
  EXPECT_EQ(inert.elements(), std::vector<bool>{false});
}

}  // namespace
}  // namespace fluvio
