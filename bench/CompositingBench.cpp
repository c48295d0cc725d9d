// Composing a 1280x720 screen of one 720p video track, an image and a text,
// frame after frame as the display link drives it, on the CPU and the GPU
// renderer; beside it, copying one 720p ARGB frame (the least a frame costs).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "Fluvio/Sources/Screen/ImageScreenObject.hpp"
#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Sources/Screen/ScreenActor.hpp"
#include "Fluvio/Sources/Screen/TextScreenObject.hpp"

namespace {

std::atomic<std::uint64_t> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* memory = std::malloc(size ? size : 1)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

using namespace fluvio;
using namespace platform;

std::shared_ptr<CVPixelBuffer> gradientFrame() {
  auto buffer = CVPixelBuffer::make(1280, 720, kCVPixelFormatType_32BGRA).value;
  for (std::size_t y = 0; y < 720; ++y) {
    for (std::size_t x = 0; x < 1280; ++x) {
      std::uint8_t* p = buffer->baseAddress() + y * buffer->bytesPerRow() + x * 4;
      p[0] = static_cast<std::uint8_t>(x / 5), p[1] = static_cast<std::uint8_t>(y / 3), p[2] = 90, p[3] = 255;
    }
  }
  return buffer;
}

CMSampleBuffer frameAt(const std::shared_ptr<CVPixelBuffer>& buffer, double seconds) {
  auto format = CMFormatDescription::makeForImageBuffer(*buffer).value;
  const CMSampleTimingInfo timing{CMTime::make(1, 30), CMTime::makeWithSeconds(seconds, 1000000000), CMTime::invalid};
  return *CMSampleBuffer::makeReadyWithImageBuffer(buffer, format, timing).value;
}

void compose(benchmark::State& state, bool gpu) {
  auto screen = Screen::make();
  screen->setGPURendererEnabled(gpu);
  if (gpu && !screen->renderer().context().isGPU()) {
    state.SkipWithError("no OpenGL ES 3 display: the GPU renderer runs on the CPU context");
    return;
  }
  screen->setBackgroundColor(CGColor::black());
  auto image = ImageScreenObject::make();
  auto bitmap = CGImage::make(320, 180, CGImagePixelFormat::argb8888);
  std::memset(bitmap->mutableData(), 200, bitmap->bytesPerRow() * bitmap->height());
  image->setCGImage(bitmap);
  image->setLayoutMargin({20, 20, 0, 0});
  image->setCornerRadius(12);
  screen->addChild(image);
  auto text = TextScreenObject::make();
  text->setString("Live 12:34:56");
  text->setVerticalAlignment(ScreenObject::VerticalAlignment::bottom);
  text->setLayoutMargin({0, 20, 20, 0});
  screen->addChild(text);
  // Two frames alternate, as a capture pool hands them round.
  const std::shared_ptr<CVPixelBuffer> frames[] = {gradientFrame(), gradientFrame()};
  double seconds = 0;
  int index = 0;
  // Warm up the pools and caches, then count.
  for (int n = 0; n < 4; ++n, ++index, seconds += 1.0 / 30) {
    screen->videoTrackScreenObject()->enqueue(frameAt(frames[n % 2], seconds));
    benchmark::DoNotOptimize(screen->makeSampleBuffer({seconds, seconds + 1.0 / 30}));
  }
  // Counts what composing allocates, not the making of the input frames.
  std::uint64_t counted = 0, frameCount = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto sample = frameAt(frames[index % 2], seconds);
    state.ResumeTiming();
    const std::uint64_t before = allocations.load();
    screen->videoTrackScreenObject()->enqueue(sample);
    auto frame = screen->makeSampleBuffer({seconds, seconds + 1.0 / 30});
    counted += allocations.load() - before;
    benchmark::DoNotOptimize(frame);
    seconds += 1.0 / 30;
    ++index;
    ++frameCount;
  }
  state.counters["allocs/frame"] = static_cast<double>(counted) / static_cast<double>(frameCount);
}

// The screen is composed on its actor, as the display link drives it.
void BM_ComposeCPU(benchmark::State& state) { ScreenActor::shared().run([&] { compose(state, false); }); }
void BM_ComposeGPU(benchmark::State& state) { ScreenActor::shared().run([&] { compose(state, true); }); }

void BM_CopyFrameReference(benchmark::State& state) {
  std::vector<std::uint8_t> source(1280 * 720 * 4, 7), destination(source.size());
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), source.size());
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_ComposeCPU)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeGPU)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyFrameReference)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
