// Capture to socket, in one process: the broadcast service's screen source
// hands 720p frames at 30 per second, with its synthetic app audio, to the
// extension module's sample handler, which publishes them to a loopback
// ingest that notes when the last byte of each video message was read. The
// latency of a frame is that time minus its capture host time; the message's
// RTMP timestamp names the frame (see CaptureTimeline). Beside it, in the
// same run and under the same load, the floor: copy, libyuv conversion and
// libx264 encode of the same pictures, with nothing of the pipeline.
//
//   CaptureToSocketBench [--screen synthetic|x11] [--seconds S] [--load N] [--module PATH]
//
// x11 reads $DISPLAY, or an X server of the bench's own when none is set;
// the default is x11 when DISPLAY is set, synthetic otherwise. --load runs N
// busy threads beside it. Prints one figure a line, name then value; the
// allocations per video frame count the audio's too.
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "Platform/CoreMedia/HostClock.hpp"
#include "Platform/ReplayKit/Service/ExtensionLoader.hpp"
#include "Platform/ReplayKit/Service/FrameClock.hpp"
#include "Platform/ReplayKit/Service/SampleDelivery.hpp"
#include "Platform/ReplayKit/Service/SyntheticAudio.hpp"
#include "Platform/ReplayKit/Service/SyntheticScreen.hpp"
#include "Platform/ReplayKit/Service/X11Screen.hpp"
#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "bench/AllocationCounter.hpp"
#include "bench/capture/AnimatedDisplay.hpp"
#include "bench/capture/BusyLoad.hpp"
#include "bench/capture/CaptureTimeline.hpp"
#include "bench/capture/EncodeFloor.hpp"
#include "bench/capture/LoopbackIngest.hpp"
#include "bench/capture/MachineLoad.hpp"
#include "bench/capture/Spread.hpp"

namespace {

using namespace capturebench;
using platform::HostClock;
namespace service = platform::broadcastservice;

constexpr std::uint64_t second = HostClock::ticksPerSecond;
constexpr std::uint64_t framePeriod = second / service::screenFramesPerSecond;
// Until the extension publishes, frames offered to it are dropped.
constexpr auto publishLimit = std::chrono::seconds(20);
// How long the stream may take for the frames in flight once the screen stops.
constexpr auto drainTime = std::chrono::milliseconds(200);
// How long the extension may take to close once finished.
constexpr auto releaseLimit = std::chrono::seconds(5);

struct Options {
  bool x11 = std::getenv("DISPLAY") != nullptr;
  double seconds = 10;
  int load = 0;
  std::string module = TARVEL_BROADCAST_MODULE;
};

std::optional<Options> parse(int argc, char** argv) {
  Options options;
  for (int index = 1; index + 1 < argc; index += 2) {
    const std::string name = argv[index], value = argv[index + 1];
    try {
      if (name == "--screen" && (value == "x11" || value == "synthetic")) {
        options.x11 = value == "x11";
      } else if (name == "--seconds" && std::stod(value) > 0 && std::stod(value) <= 600) {
        options.seconds = std::stod(value);
      } else if (name == "--load" && std::stoi(value) >= 0 && std::stoi(value) <= 1024) {
        options.load = std::stoi(value);
      } else if (name == "--module") {
        options.module = value;
      } else {
        return std::nullopt;
      }
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
  if (argc % 2 == 0) return std::nullopt;
  return options;
}

// A private directory for the shared settings and the X server's output,
// removed with the run.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "capture-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch directory");
    path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// What the extension said when it ended the broadcast itself; the service
// reports only the first end.
class ExtensionEnd {
 public:
  ExtensionEnd() : said_(promise_.get_future().share()) {}
  void set(const std::string& description) { promise_.set_value(description); }
  std::optional<std::string> get() const {
    if (said_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return std::nullopt;
    return said_.get();
  }

 private:
  std::promise<std::string> promise_;
  std::shared_future<std::string> said_;
};

struct PipelineFigures {
  std::vector<double> latencies;
  std::size_t delivered = 0;
  std::size_t published = 0;
  std::size_t unmatched = 0;
  std::uint64_t droppedTicks = 0;
  double allocationsPerFrame = 0;
  double busyPercent = 0;
  double peakRSSMegabytes = 0;
};

double peakRSSMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024;
}

// Offers the extension one frame at a time until it keeps one, which is the
// first frame of the publication: before it publishes, every frame it is
// offered counts as dropped. The kept frame's capture time, or nothing.
std::optional<std::uint64_t> offerUntilKept(service::ScreenSource& screen, service::SampleDelivery& delivery,
                                            platform::RPBroadcastSampleHandler& handler,
                                            const ExtensionEnd& extensionEnd) {
  const auto limit = std::chrono::steady_clock::now() + publishLimit;
  while (!extensionEnd.get() && std::chrono::steady_clock::now() < limit) {
    const auto capturedAt = HostClock::now();
    if (auto frame = screen.frame(capturedAt, 0)) {
      const auto dropped = handler.broadcastStatistics().buffersDropped;
      delivery.deliver(*frame, platform::RPSampleBufferType::video);
      if (handler.broadcastStatistics().buffersDropped == dropped) return capturedAt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

PipelineFigures runPipeline(const Options& options, service::ScreenSource& screen,
                            const std::filesystem::path& scratch) {
  const auto frames = static_cast<std::size_t>(options.seconds * service::screenFramesPerSecond) + 2;
  LoopbackIngest ingest(frames);
  ::setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
  tarvelportalbroadcast::saveBroadcastConfig(ingest.url(), "capture-bench");

  std::string error;
  auto handler = service::loadExtension(options.module, "SampleHandler", error);
  if (!handler) throw std::runtime_error("cannot load the extension: " + error);
  ExtensionEnd extensionEnd;
  handler->setFinishHandler([&extensionEnd](const std::string& description) { extensionEnd.set(description); });
  auto delivery = std::make_shared<service::SampleDelivery>(handler);
  handler->broadcastStarted(std::nullopt);

  CaptureTimeline timeline(frames);
  const auto first = offerUntilKept(screen, *delivery, *handler, extensionEnd);
  if (!first) throw std::runtime_error("the extension did not publish: " + extensionEnd.get().value_or("no answer"));
  timeline.note(*first);

  // Half a period off the first frame's grid: were that frame lost, no
  // later timestamp would find a frame and the loss would show as unmatched.
  const std::uint64_t start = *first + framePeriod + framePeriod / 2;
  const std::uint64_t end = start + static_cast<std::uint64_t>(options.seconds * second);
  const auto allocationsBefore = bench::allocationCount();
  const auto publishedBefore = ingest.framesReceived();
  const auto machineBefore = machineCPUTimes();
  auto clock = std::make_unique<service::FrameClock>(
      service::screenFramesPerSecond, start, end, [&](std::uint64_t hostTime, std::uint64_t index) {
        auto frame = screen.frame(hostTime, index + 1);
        if (!frame) return false;
        if (delivery->deliver(*frame, platform::RPSampleBufferType::video)) timeline.note(hostTime);
        return true;
      });
  auto audio = std::make_unique<service::SyntheticAudio>(
      platform::RPSampleBufferType::audioApp, start,
      [&](const platform::CMSampleBuffer& buffer, platform::RPSampleBufferType type) {
        if (static_cast<std::uint64_t>(buffer.presentationTimeStamp().value) < end) delivery->deliver(buffer, type);
      });
  while (!extensionEnd.get() && HostClock::now() < end + framePeriod) {
    std::this_thread::sleep_for(std::chrono::nanoseconds(framePeriod));
  }
  clock->stop();
  audio.reset();
  std::this_thread::sleep_for(drainTime);

  PipelineFigures figures;
  const auto publishedInWindow = ingest.framesReceived() - publishedBefore;
  figures.allocationsPerFrame = publishedInWindow ? static_cast<double>(bench::allocationCount() - allocationsBefore) /
                                                        static_cast<double>(publishedInWindow)
                                                  : 0;
  figures.busyPercent = busyPercent(machineBefore, machineCPUTimes());
  figures.droppedTicks = clock->droppedTicks();
  figures.delivered = timeline.size();

  delivery->end();
  if (!extensionEnd.get()) handler->broadcastFinished();
  handler->setFinishHandler(nullptr);
  delivery.reset();
  const auto releaseBy = std::chrono::steady_clock::now() + releaseLimit;
  while (handler.use_count() > 1 && std::chrono::steady_clock::now() < releaseBy) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  handler.reset();
  const auto arrivals = ingest.finish();
  figures.peakRSSMegabytes = peakRSSMegabytes();
  if (const auto description = extensionEnd.get()) {
    throw std::runtime_error("the extension ended the broadcast: " + *description);
  }
  figures.published = arrivals.size();
  figures.latencies = timeline.latencies(arrivals, figures.unmatched);
  return figures;
}

// The floor for `frames` pictures of the same screen, at the same pace.
Spread runFloor(service::ScreenSource& screen, std::size_t frames) {
  EncodeFloor floor;
  std::vector<double> milliseconds;
  milliseconds.reserve(frames);
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t index = 0; index < frames; ++index) {
    std::this_thread::sleep_until(start + index * std::chrono::nanoseconds(framePeriod));
    const auto frame = screen.frame(HostClock::now(), index);
    if (!frame || !frame->imageBuffer()) continue;
    milliseconds.push_back(static_cast<double>(floor.encode(*frame->imageBuffer())) / 1e6);
  }
  return spreadOf(std::move(milliseconds));
}

void print(const std::string& name, double value) { std::printf("%-26s %.3f\n", name.c_str(), value); }
void printCount(const std::string& name, std::uint64_t count) {
  std::printf("%-26s %llu\n", name.c_str(), static_cast<unsigned long long>(count));
}

void printSpread(const std::string& name, const Spread& spread) {
  print(name + "_min_ms", spread.min);
  print(name + "_median_ms", spread.median);
  print(name + "_p99_ms", spread.p99);
  print(name + "_max_ms", spread.max);
}

int run(const Options& options) {
  BusyLoad load(options.load);
  ScratchDirectory scratch;
  std::unique_ptr<AnimatedDisplay> ownDisplay;
  if (options.x11 && !std::getenv("DISPLAY")) {
    ownDisplay = std::make_unique<AnimatedDisplay>(scratch.path());
    ::setenv("DISPLAY", ownDisplay->name().c_str(), 1);
  }
  std::string error;
  std::unique_ptr<service::ScreenSource> screen;
  if (options.x11) {
    screen = service::X11Screen::make(error);
  } else {
    screen = service::SyntheticScreen::make();
  }
  if (!screen) throw std::runtime_error("no screen: " + error);

  const auto pipeline = runPipeline(options, *screen, scratch.path());
  // The first frame also opens the encoder: a start-up cost, shown apart.
  const double firstFrame = pipeline.latencies.empty() ? 0 : pipeline.latencies.front();
  const auto latency = spreadOf(pipeline.latencies.empty()
                                    ? std::vector<double>{}
                                    : std::vector<double>(pipeline.latencies.begin() + 1, pipeline.latencies.end()));
  const auto floor = runFloor(*screen, pipeline.delivered);

  std::printf("capture->socket, %s screen, %g s at 30 fps, %d busy threads on %u cores\n",
              options.x11 ? "x11" : "synthetic", options.seconds, options.load, std::thread::hardware_concurrency());
  printCount("frames_delivered", pipeline.delivered);
  printCount("frames_published", pipeline.published);
  printCount("frames_unmatched", pipeline.unmatched);
  printCount("ticks_dropped", pipeline.droppedTicks);
  print("first_frame_ms", firstFrame);
  printSpread("latency", latency);
  printSpread("floor", floor);
  print("ratio_median", floor.median > 0 ? latency.median / floor.median : 0);
  print("ratio_p99", floor.p99 > 0 ? latency.p99 / floor.p99 : 0);
  print("allocations_per_frame", pipeline.allocationsPerFrame);
  print("peak_rss_mb", pipeline.peakRSSMegabytes);
  print("machine_busy_percent", pipeline.busyPercent);
  print("load_average_1min", loadAverage());
  printCount("busy_threads", static_cast<std::uint64_t>(options.load));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = parse(argc, argv);
  if (!options) {
    std::cerr << "usage: " << argv[0] << " [--screen synthetic|x11] [--seconds S (0-600)] [--load N] [--module PATH]\n";
    return 2;
  }
  try {
    return run(*options);
  } catch (const std::exception& failure) {
    std::cerr << argv[0] << ": " << failure.what() << std::endl;
    return 1;
  }
}
