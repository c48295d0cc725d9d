// 720p H.264 encoding at the broadcast's settings: frames per second of wall
// time, and CPU time per frame across every thread of the process.

#include <benchmark/benchmark.h>

#include <ctime>
#include <fstream>
#include <string_view>
#include <vector>

#include "Fluvio/Sources/Codec/VTCompressionSessionAdapter.hpp"
#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"
#include "Platform/VideoToolbox/Tests/support/SampleStream.hpp"
#include "Platform/VideoToolbox/Tests/support/TestPattern.hpp"

namespace {

constexpr int width = 1280;
constexpr int height = 720;
// Distinct pictures cycled through, so the encoder sees motion without the
// benchmark paying for drawing them.
constexpr int pictureCount = 30;

double processSeconds() {
  timespec time{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

void encode720pBroadcast(benchmark::State& state, decltype(&videotest::makeNV12) makePicture) {
  const fluvio::VideoCodecSettings settings({width, height}, 2'200'000,
                                            std::string(platform::kVTProfileLevel_H264_Baseline_3_1));
  std::vector<std::shared_ptr<platform::CVPixelBuffer>> pictures;
  for (int index = 0; index < pictureCount; ++index) pictures.push_back(makePicture(width, height, index));
  const auto session =
      fluvio::VTCompressionSessionAdapter::make(settings, videotest::makeVideoSample(pictures.front(), 0).formatDescription());
  auto [stream, continuation] = videotest::SampleStream::makeStream(platform::BufferingPolicy::bufferingNewest(1));

  int frame = 0;
  const double cpuStart = processSeconds();
  for (auto _ : state) {
    session->convert(videotest::makeVideoSample(pictures[frame % pictureCount], frame), continuation);
    ++frame;
  }
  session->session()->completeFrames();
  const double cpuSeconds = processSeconds() - cpuStart;
  state.counters["fps"] = benchmark::Counter(static_cast<double>(frame), benchmark::Counter::kIsRate);
  state.counters["cpu_ms_per_frame"] = cpuSeconds * 1000 / static_cast<double>(frame);
}

BENCHMARK_CAPTURE(encode720pBroadcast, NV12, &videotest::makeNV12)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(300);
BENCHMARK_CAPTURE(encode720pBroadcast, BGRA, &videotest::makeBGRA)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(300);

}  // namespace

// With --write-bgra-frames=FILE the BGRA pictures are written there as raw
// video instead, so that a reference encoder can be timed on the same frames.
int main(int argc, char** argv) {
  constexpr std::string_view option = "--write-bgra-frames=";
  if (argc == 2 && std::string_view(argv[1]).starts_with(option)) {
    std::ofstream file(std::string(std::string_view(argv[1]).substr(option.size())), std::ios::binary);
    for (int index = 0; index < pictureCount; ++index) {
      auto picture = videotest::makeBGRA(width, height, index);
      picture->lockBaseAddress(platform::kCVPixelBufferLock_ReadOnly);
      for (int y = 0; y < height; ++y) {
        file.write(reinterpret_cast<const char*>(picture->baseAddress() + y * picture->bytesPerRow()), width * 4);
      }
      picture->unlockBaseAddress(platform::kCVPixelBufferLock_ReadOnly);
    }
    return file ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
