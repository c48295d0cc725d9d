#include "Platform/ReplayKit/Service/BroadcastService.hpp"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "Platform/CoreMedia/HostClock.hpp"
#include "Platform/ReplayKit/Service/BroadcastReport.hpp"
#include "Platform/ReplayKit/Service/ExtensionLoader.hpp"
#include "Platform/ReplayKit/Service/FrameClock.hpp"
#include "Platform/ReplayKit/Service/PulseAudio.hpp"
#include "Platform/ReplayKit/Service/SampleDelivery.hpp"
#include "Platform/ReplayKit/Service/SyntheticAudio.hpp"
#include "Platform/ReplayKit/Service/SyntheticScreen.hpp"
#include "Platform/ReplayKit/Service/X11Screen.hpp"

namespace platform::broadcastservice {
namespace {

constexpr std::uint64_t second = HostClock::ticksPerSecond;
// How long the extension may go on closing its connection after finish.
constexpr auto lingerLimit = std::chrono::seconds(5);

// The error an extension ended the broadcast with, set from any thread.
class Failure {
 public:
  void set(const std::string& description) {
    {
      const std::lock_guard lock(mutex_);
      if (description_) return;
      description_ = description;
    }
    ::kill(::getpid(), SIGUSR1);
  }
  std::optional<std::string> get() const {
    const std::lock_guard lock(mutex_);
    return description_;
  }

 private:
  mutable std::mutex mutex_;
  std::optional<std::string> description_;
};

void note(const std::string& text) { std::cerr << "broadcast-service: " << text << std::endl; }

std::unique_ptr<ScreenSource> makeScreen(VideoInput input, std::string& error) {
  if (input == VideoInput::synthetic || (input == VideoInput::automatic && !std::getenv("DISPLAY"))) {
    return SyntheticScreen::make();
  }
  if (auto screen = X11Screen::make(error)) return screen;
  if (input == VideoInput::screen) return nullptr;
  note(error + "; using the synthetic picture");
  return SyntheticScreen::make();
}

std::unique_ptr<AudioSource> makeAudio(AudioInput input, RPSampleBufferType type, std::uint64_t start,
                                       const AudioSink& sink, std::string& error) {
  if (input != AudioInput::synthetic) {
    if (auto audio = PulseAudio::make(type, sink, error)) return audio;
    if (input == AudioInput::pulse) return nullptr;
  }
  return std::make_unique<SyntheticAudio>(type, start, sink);
}

// Waits until the extension has let go of its handler, so only the caller
// holds it (its closing work is done), or the limit has passed.
void waitForRelease(const std::shared_ptr<RPBroadcastSampleHandler>& handler) {
  const auto limit = std::chrono::steady_clock::now() + lingerLimit;
  while (handler.use_count() > 1 && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

int runBroadcast(const BroadcastServiceOptions& options) {
  std::string error;
  auto handler = loadExtension(options.modulePath, options.principalClass, error);
  if (!handler) {
    note("cannot load the extension: " + error);
    return 2;
  }
  auto failure = std::make_shared<Failure>();
  handler->setFinishHandler([failure](const std::string& description) { failure->set(description); });
  auto delivery = std::make_shared<SampleDelivery>(handler);

  handler->broadcastStarted(std::nullopt);

  // Every source counts from one start, so the synthetic flash and beep meet.
  const std::uint64_t start = HostClock::now() + second / 100;
  const std::optional<std::uint64_t> end =
      options.seconds ? std::optional(start + static_cast<std::uint64_t>(*options.seconds * second)) : std::nullopt;
  const auto beforeEnd = [end](std::uint64_t hostTime) { return !end || hostTime < *end; };
  // The sources stop once the last buffer begun before the end is due.
  const std::uint64_t stopAt =
      end ? *end + std::uint64_t{audioFramesPerBuffer} * second / audioSampleRate + second / 20 : UINT64_MAX;

  std::unique_ptr<ScreenSource> screen;
  std::unique_ptr<FrameClock> clock;
  std::unique_ptr<AudioSource> appAudio, microphone;
  if (!failure->get()) {
    screen = makeScreen(options.video, error);
    if (!screen) {
      note("no screen: " + error);
      return 2;
    }
    clock = std::make_unique<FrameClock>(screenFramesPerSecond, start, end,
                                         [&](std::uint64_t hostTime, std::uint64_t index) {
                                           const auto frame = screen->frame(hostTime, index);
                                           if (frame) delivery->deliver(*frame, RPSampleBufferType::video);
                                           return frame != nullptr;
                                         });
    const AudioSink sink = [&](const CMSampleBuffer& buffer, RPSampleBufferType type) {
      if (beforeEnd(buffer.presentationTimeStamp().value)) delivery->deliver(buffer, type);
    };
    appAudio = makeAudio(options.audio, RPSampleBufferType::audioApp, start, sink, error);
    if (options.microphone) microphone = makeAudio(options.audio, RPSampleBufferType::audioMic, start, sink, error);
    if (!appAudio || (options.microphone && !microphone)) {
      note("no sound server: " + error);
      return 2;
    }
  }

  const auto progress = [&] {
    const auto now = HostClock::now();
    const auto until = end ? std::min(now, *end) : now;
    return BroadcastProgress{until > start ? double(until - start) / second : 0,
                             delivery ? delivery->counts() : SampleDelivery::Counts{},
                             clock ? clock->droppedTicks() : 0, handler->broadcastStatistics()};
  };
  const bool showStatus = ::isatty(STDERR_FILENO);
  BroadcastProgress previous = progress();
  std::uint64_t nextStatus = start + second;

  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGINT, SIGTERM, SIGTSTP, SIGCONT, SIGUSR1}) sigaddset(&signals, signal);
  while (!failure->get()) {
    const std::uint64_t now = HostClock::now();
    if (now >= stopAt) break;
    const std::uint64_t wakeAt = std::min(stopAt, nextStatus);
    const std::uint64_t wait = wakeAt > now ? wakeAt - now : 0;
    const timespec timeout{static_cast<time_t>(wait / second), static_cast<long>(wait % second)};
    const int signal = ::sigtimedwait(&signals, nullptr, &timeout);
    if (signal == SIGINT || signal == SIGTERM) break;
    if (signal == SIGTSTP) delivery->pause();
    if (signal == SIGCONT) delivery->resume();
    if (HostClock::now() >= nextStatus) {
      nextStatus += second;
      const auto current = progress();
      if (showStatus) {
        std::cerr << "\r\033[K" << statusLine(current, previous) << (delivery->isPaused() ? "  paused" : "")
                  << std::flush;
      }
      previous = current;
    }
  }

  // Stopped, not destroyed: the summary still reads the clock's drops.
  if (clock) clock->stop();
  appAudio.reset();
  microphone.reset();
  delivery->end();
  if (!failure->get()) handler->broadcastFinished();
  handler->setFinishHandler(nullptr);
  // The summary counts what the extension sent until it let go.
  const auto delivered = delivery->counts();
  delivery.reset();
  waitForRelease(handler);
  auto last = progress();
  last.delivered = delivered;
  handler.reset();

  if (showStatus) std::cerr << "\r\033[K";
  std::cout << summary(last) << std::endl;
  if (const auto description = failure->get()) {
    std::cerr << *description << std::endl;
    return 1;
  }
  // A backlog the server never got is no successful broadcast.
  if (last.extension.videoFramesNotDelivered > 0) {
    std::cerr << last.extension.videoFramesNotDelivered
              << " frames were not delivered: the network did not take the backlog by the end" << std::endl;
    return 1;
  }
  return 0;
}

}  // namespace platform::broadcastservice
