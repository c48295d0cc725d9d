// The publish path, of pre-encoded media and of raw frames. FLV audio and
// video tags become encoded sample buffers and audio packets; raw 640x360
// frames go through the encoder. Either is appended at real-time pace to an
// RTMPStream that publishes to a loopback server which discards them.
// Counters per video frame: CPU of the whole process but the server thread,
// heap allocations outside the server thread, and the p99 latency from
// append to the server having read the frame (an upper bound of the time to
// the socket). The FLV comes from RTMP_PUBLISH_BENCH_FLV; see
// compare-publish.sh, which runs ffmpeg on the same file beside it.
// With --discarding-server the program only serves one publisher and prints
// its port first.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iostream>
#include <iterator>
#include <mutex>
#include <new>
#include <thread>
#include <type_traits>
#include <vector>

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "Fluvio/Tests/Stream/StreamTestMedia.hpp"
#include "bench/AllocationCounter.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"


namespace {

using namespace rtmpfluvio;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kAudioTag = 8;
constexpr std::uint8_t kVideoTag = 9;
// Media times are the tags' times after this many seconds of the host clock.
constexpr double kMediaStart = 1000;

struct Tag {
  std::uint8_t type;
  std::uint32_t timestamp;
  Bytes body;
};

// The audio and video tags of an FLV file, in file order.
std::vector<Tag> readFLV(const char* path) {
  std::ifstream file(path, std::ios::binary);
  const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<Tag> tags;
  std::size_t offset = 9 + 4;  // header, first previous-tag size
  while (offset + 11 <= bytes.size()) {
    const auto at = [&](std::size_t index) { return static_cast<std::uint32_t>(bytes[offset + index]); };
    const std::uint32_t size = at(1) << 16 | at(2) << 8 | at(3);
    const std::uint32_t timestamp = at(7) << 24 | at(4) << 16 | at(5) << 8 | at(6);
    if (offset + 11 + size > bytes.size()) break;
    if (at(0) == kAudioTag || at(0) == kVideoTag) {
      tags.push_back({static_cast<std::uint8_t>(at(0)), timestamp,
                      Bytes(bytes.begin() + offset + 11, bytes.begin() + offset + 11 + size)});
    }
    offset += 11 + size + 4;
  }
  return tags;
}

// What the publisher appends: encoded video and audio, built before the clock runs.
struct Media {
  std::uint32_t timestamp;
  std::shared_ptr<platform::CMSampleBuffer> video;
  std::shared_ptr<platform::AVAudioCompressedBuffer> audio;
};

std::vector<Media> prepare(const std::vector<Tag>& tags) {
  std::vector<Media> media;
  std::shared_ptr<const platform::CMFormatDescription> videoFormat;
  std::shared_ptr<platform::AVAudioFormat> audioFormat;
  for (const auto& tag : tags) {
    if (tag.type == kVideoTag) {
      const RTMPVideoMessage message(1, tag.timestamp, tag.body);
      if (tag.body.size() > 1 && tag.body[1] == 0) {
        videoFormat = message.makeFormatDescription();
      } else if (auto sample = message.makeSampleBuffer(
                     platform::CMTime::makeWithSeconds(kMediaStart + tag.timestamp / 1000.0, 90000), videoFormat)) {
        media.push_back({tag.timestamp, std::move(sample), nullptr});
      }
    } else {
      const RTMPAudioMessage message(1, tag.timestamp, tag.body);
      if (tag.body.size() > 1 && tag.body[1] == 0) {
        audioFormat = message.makeAudioFormat();
      } else if (audioFormat) {
        auto buffer = platform::AVAudioCompressedBuffer::make(audioFormat, 1, 8192);
        if (buffer && message.copyPayload(buffer.get())) media.push_back({tag.timestamp, nullptr, std::move(buffer)});
      }
    }
  }
  return media;
}

double threadCPUSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double processCPUSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One publication to a discarding server of `items` handed on at their
// times (milliseconds from the start), each appended by `append` from a task
// on the pool; `isFrame` tells the video frames, whose arrival the server
// times. Sets the counters of the header.
template <class Item, class Append>
void measurePublication(benchmark::State& state, const std::vector<Item>& items,
                        std::type_identity_t<std::uint32_t (*)(const Item&)> timestamp,
                        std::type_identity_t<bool (*)(const Item&)> isFrame, Append append) {
  const auto frames = std::count_if(items.begin(), items.end(), isFrame);
  testing::ScriptedRTMPServer server;
  // Send times of the video frames, read back when the server has the frame.
  std::vector<std::atomic<std::int64_t>> sentAt(static_cast<std::size_t>(frames));
  std::vector<double> latencies;
  std::atomic<double> serverCPU{0};
  std::thread serving([&] {
    bench::leaveAllocationCount();
    server.accept();
    std::size_t received = 0;
    server.servePublisher([&](const RTMPReceivedMessage& message) {
      const auto* video = std::get_if<RTMPVideoMessage>(&message);
      if (!video || video->payload().size() < 2 || video->payload()[1] != 1 || received >= sentAt.size()) return;
      const auto now = Clock::now().time_since_epoch().count();
      latencies.push_back((now - sentAt[received++].load()) / 1e6);
    });
    serverCPU = threadCPUSeconds();
  });
  auto connection = RTMPConnection::make();
  auto stream = RTMPStream::make(connection);
  platform::blockOn(connection->connect(server.url("/live")));
  platform::blockOn(stream->publish("bench"));

  const double cpuBefore = processCPUSeconds();
  const auto allocationsBefore = bench::allocationCount();
  // Each item is handed at its time, from this thread, to a task on the
  // pool that appends it, as a capture thread hands frames on.
  auto [handed, handing] = platform::AsyncStream<const Item*>::makeStream();
  auto appending = std::async(std::launch::async, [&, handed = std::move(handed)]() mutable {
    platform::blockOn([&]() -> platform::Async<void> {
      while (const auto item = co_await handed.next()) {
        auto appended = append(*stream, **item);
        co_await std::move(appended);
      }
    });
  });
  const auto start = Clock::now();
  std::size_t videoIndex = 0;
  for (const auto& item : items) {
    std::this_thread::sleep_until(start + std::chrono::milliseconds(timestamp(item)));
    if (isFrame(item)) sentAt[videoIndex++] = Clock::now().time_since_epoch().count();
    handing.yield(&item);
  }
  handing.finish();
  appending.get();
  const auto allocationsDuring = bench::allocationCount() - allocationsBefore;
  platform::blockOn(connection->close());
  serving.join();
  const double cpu = processCPUSeconds() - cpuBefore - serverCPU.load();

  std::sort(latencies.begin(), latencies.end());
  const auto percentile = [&](std::size_t percent) {
    return latencies.empty() ? 0 : latencies[latencies.size() * percent / 100];
  };
  state.counters["frames"] = static_cast<double>(frames);
  state.counters["received"] = static_cast<double>(latencies.size());
  state.counters["cpu_ms_per_frame"] = cpu * 1000 / static_cast<double>(frames);
  state.counters["allocs_per_frame"] = static_cast<double>(allocationsDuring) / static_cast<double>(frames);
  state.counters["p50_append_ms"] = percentile(50);
  state.counters["p99_append_ms"] = percentile(99);
}

void publishPreEncoded(benchmark::State& state) {
  const char* path = std::getenv("RTMP_PUBLISH_BENCH_FLV");
  if (!path) {
    state.SkipWithError("set RTMP_PUBLISH_BENCH_FLV to an H.264/AAC FLV file");
    return;
  }
  const auto media = prepare(readFLV(path));
  for (auto _ : state) {
    measurePublication(
        state, media, [](const Media& item) { return item.timestamp; },
        [](const Media& item) { return item.video != nullptr; },
        [](RTMPStream& stream, const Media& item) {
          if (item.video) return stream.append(*item.video);
          return stream.append(item.audio, platform::AVAudioTime::make(platform::AVAudioTime::hostTime(
                                               kMediaStart + item.timestamp / 1000.0)));
        });
  }
}
BENCHMARK(publishPreEncoded)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Raw frames through the encoder: the path a capture takes.
struct RawFrame {
  std::uint32_t timestamp;
  platform::CMSampleBuffer frame;
};

void publishRawFrames(benchmark::State& state) {
  constexpr int kFrames = 150;
  const auto origin = platform::HostClock::seconds(platform::HostClock::now()) + 1;
  std::vector<RawFrame> frames;
  for (int index = 0; index < kFrames; ++index) {
    const auto timestamp = static_cast<std::uint32_t>(index * 1000 / 30);
    frames.push_back({timestamp, fluvio::testing::rawVideoFrame(
                                     index, platform::CMTime::makeWithSeconds(origin + timestamp / 1000.0, 90000), 640,
                                     360, platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange)});
  }
  for (auto _ : state) {
    measurePublication(
        state, frames, [](const RawFrame& item) { return item.timestamp; }, [](const RawFrame&) { return true; },
        [](RTMPStream& stream, const RawFrame& item) { return stream.append(item.frame); });
  }
}
BENCHMARK(publishRawFrames)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--discarding-server") {
    bench::leaveAllocationCount();
    testing::ScriptedRTMPServer server;
    std::cout << server.port() << std::endl;
    server.accept();
    server.servePublisher([](const RTMPReceivedMessage&) {});
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
