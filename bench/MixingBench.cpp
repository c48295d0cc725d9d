// Capture mixing: the four-track audio mix against summing the same samples
// by hand, and the video mixer's paths for one 720p frame (passed on, muted,
// or composed by the screen in offscreen mode) against copying it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Fluvio/Sources/Mixer/AudioMixerByMultiTrack.hpp"
#include "Fluvio/Sources/Mixer/VideoMixer.hpp"
#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Sources/Screen/ScreenActor.hpp"
#include "Platform/AVFoundation/PixelRotation.hpp"
#include "Platform/AVFoundation/SyntheticCameraSource.hpp"

namespace {

using namespace fluvio;

constexpr double kRate = 48000;
constexpr std::uint32_t kBlock = 1024;
constexpr int kTracks = 4;

std::shared_ptr<platform::AVAudioFormat> stereo16() {
  return platform::AVAudioFormat::make(platform::AVAudioCommonFormat::pcmFormatInt16, kRate, 2, true);
}

std::shared_ptr<platform::AVAudioPCMBuffer> toneBlock(std::int16_t level) {
  auto buffer = platform::AVAudioPCMBuffer::make(stereo16(), kBlock);
  buffer->setFrameLength(kBlock);
  std::fill_n(buffer->int16ChannelData()[0], kBlock * 2, level);
  return buffer;
}

struct Sink final : AudioMixerDelegate {
  void audioMixer(AudioMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
                  const std::shared_ptr<platform::AVAudioTime>&) override {
    benchmark::DoNotOptimize(buffer->int16ChannelData()[0][0]);
  }
};

void setAudioRate(benchmark::State& state) {
  state.counters["audioSecondsPerSecond"] =
      benchmark::Counter(double(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
}

// Four tracks of 48 kHz stereo through converters, rings and the mixer unit.
void BM_AudioMixFourTracks(benchmark::State& state) {
  AudioMixerByMultiTrack mixer;
  auto sink = std::make_shared<Sink>();
  mixer.setDelegate(sink);
  std::vector<std::shared_ptr<platform::AVAudioPCMBuffer>> blocks;
  for (int track = 0; track < kTracks; ++track) blocks.push_back(toneBlock(static_cast<std::int16_t>(1000 * (track + 1))));
  std::int64_t sampleTime = 0;
  for (auto _ : state) {
    const auto when = platform::AVAudioTime::make(1'000'000'000 + std::uint64_t(double(sampleTime) / kRate * 1e9),
                                                  sampleTime, kRate);
    for (int track = kTracks - 1; track >= 0; --track) mixer.append(*blocks[track], when, static_cast<std::uint8_t>(track));
    sampleTime += kBlock;
  }
  setAudioRate(state);
}
BENCHMARK(BM_AudioMixFourTracks);

// Reference: summing the same four blocks with saturation in one loop.
void BM_AudioSumFourTracksByHand(benchmark::State& state) {
  std::vector<std::vector<std::int16_t>> tracks(kTracks, std::vector<std::int16_t>(kBlock * 2));
  for (int track = 0; track < kTracks; ++track) std::fill(tracks[track].begin(), tracks[track].end(), 1000 * (track + 1));
  std::vector<std::int16_t> mix(kBlock * 2);
  for (auto _ : state) {
    for (std::size_t i = 0; i < mix.size(); ++i) {
      int sum = 0;
      for (const auto& track : tracks) sum += track[i];
      mix[i] = static_cast<std::int16_t>(std::clamp(sum, -32768, 32767));
    }
    benchmark::DoNotOptimize(mix.data());
  }
  setAudioRate(state);
}
BENCHMARK(BM_AudioSumFourTracksByHand);

platform::CMSampleBuffer frame720p() {
  auto picture = platform::CVPixelBuffer::make(1280, 720, platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange).value;
  picture->lockBaseAddress(0);
  platform::SyntheticCameraSource::paint(*picture, 1);
  picture->unlockBaseAddress(0);
  auto description = platform::CMFormatDescription::makeForImageBuffer(*picture).value;
  return *platform::CMSampleBuffer::makeReadyWithImageBuffer(
              picture, description, {platform::CMTime::make(1, 30), platform::CMTime::make(0, 30), platform::CMTime::invalid})
              .value;
}

struct FrameSink final : VideoMixerDelegate {
  void didInput(const platform::CMSampleBuffer& buffer, std::uint8_t) override { benchmark::DoNotOptimize(&buffer); }
  void didOutput(const platform::CMSampleBuffer& buffer) override { benchmark::DoNotOptimize(&buffer); }
};

// One 720p frame through the video mixer: passed on (0) or muted (1).
void BM_VideoMixer720p(benchmark::State& state) {
  VideoMixer mixer;
  auto sink = std::make_shared<FrameSink>();
  mixer.setDelegate(sink);
  mixer.setSettings({VideoMixerSettings::Mode::passthrough, state.range(0) == 1, 0});
  const auto frame = frame720p();
  for (auto _ : state) mixer.append(frame, 0);
}
BENCHMARK(BM_VideoMixer720p)->Arg(0)->Arg(1);

// Offscreen mode: one camera frame into the screen's video track and one
// 720p frame composed for a display-link tick, on the CPU renderer.
void composeOnScreenActor(benchmark::State& state) {
  auto screen = Screen::make();
  const auto picture = frame720p();
  std::int64_t tick = 0;
  for (auto _ : state) {
    const double seconds = 1 + double(tick++) / 30;
    const auto timing = platform::CMSampleTimingInfo{platform::CMTime::make(1, 30),
                                                     platform::CMTime::makeWithSeconds(seconds, 1'000'000'000),
                                                     platform::CMTime::invalid};
    auto stamped = platform::CMSampleBuffer::makeReadyWithImageBuffer(picture.imageBuffer(),
                                                                      picture.formatDescription(), timing);
    screen->videoTrackScreenObject()->enqueue(*stamped.value);
    benchmark::DoNotOptimize(screen->makeSampleBuffer({seconds, seconds + 1.0 / 30}));
  }
}
void BM_ScreenCompose720p(benchmark::State& state) {
  ScreenActor::shared().run([&] { composeOnScreenActor(state); });
}
BENCHMARK(BM_ScreenCompose720p)->Unit(benchmark::kMillisecond);

// A 720p frame turned upright (portrait) in software, as a connection does.
void BM_Rotate720pToPortrait(benchmark::State& state) {
  const auto frame = frame720p();
  for (auto _ : state) benchmark::DoNotOptimize(platform::rotatedPixelBuffer(*frame.imageBuffer(), 1, false));
}
BENCHMARK(BM_Rotate720pToPortrait);

// Reference: copying the frame's bytes once.
void BM_Copy720pFrame(benchmark::State& state) {
  const auto frame = frame720p();
  std::vector<std::uint8_t> target(frame.imageBuffer()->dataSize());
  for (auto _ : state) {
    std::memcpy(target.data(), frame.imageBuffer()->baseAddress(), target.size());
    benchmark::DoNotOptimize(target.data());
  }
}
BENCHMARK(BM_Copy720pFrame);

}  // namespace

BENCHMARK_MAIN();
