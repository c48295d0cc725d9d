// Audio encode speed through the codec, as a multiple of real time: the
// "realtime" counter is seconds of audio encoded per second of wall time.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "Fluvio/Sources/Codec/AudioCodec.hpp"
#include "Platform/AVFAudio/LibavAudioEncoder.hpp"
#include "Platform/AVFAudio/VOAACAudioEncoder.hpp"

namespace {

using fluvio::AudioCodec;
using fluvio::AudioCodecFormat;
using fluvio::AudioCodecSettings;

constexpr double kSampleRate = 48'000;
constexpr std::uint32_t kFramesPerBuffer = 1024;
constexpr int kBuffersPerIteration = 47;  // about one second of audio

std::vector<std::shared_ptr<platform::AVAudioPCMBuffer>> makeToneBuffers() {
  const auto format = platform::AVAudioFormat::makeStandard(kSampleRate, 2);
  std::vector<std::shared_ptr<platform::AVAudioPCMBuffer>> buffers;
  for (int index = 0; index < kBuffersPerIteration; ++index) {
    auto buffer = platform::AVAudioPCMBuffer::make(format, kFramesPerBuffer);
    buffer->setFrameLength(kFramesPerBuffer);
    for (std::uint32_t frame = 0; frame < kFramesPerBuffer; ++frame) {
      const double seconds = (index * kFramesPerBuffer + frame) / kSampleRate;
      const auto sample = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 1'000 * seconds));
      buffer->floatChannelData()[0][frame] = sample;
      buffer->floatChannelData()[1][frame] = sample;
    }
    buffers.push_back(std::move(buffer));
  }
  return buffers;
}

void encode(benchmark::State& state, AudioCodecFormat format) {
  const auto buffers = makeToneBuffers();
  auto codec = AudioCodec::make();
  codec->setSettings(AudioCodecSettings(128'000, true, std::nullopt, 0, format));
  codec->startRunning();
  // Nobody reads the output: yields are dropped, as for a codec without a consumer.
  std::int64_t frame = 0;
  for (auto _ : state) {
    for (const auto& buffer : buffers) {
      codec->append(buffer, platform::AVAudioTime::make(1'000'000'000, frame, kSampleRate));
      frame += kFramesPerBuffer;
    }
  }
  const double audioSeconds = static_cast<double>(state.iterations()) * kBuffersPerIteration * kFramesPerBuffer / kSampleRate;
  state.counters["realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

// The two AAC encoders alone at the broadcast's settings, each fed from the
// resampler that converts the codec's float input to what it takes.
template <class Encoder>
void encodePackets(benchmark::State& state) {
  const auto buffers = makeToneBuffers();
  auto encoder = Encoder::make({platform::kAudioFormatMPEG4AAC, static_cast<int>(kSampleRate), 2, 128'000, 0});
  const platform::AudioSampleLayout input{AV_SAMPLE_FMT_FLTP, static_cast<int>(kSampleRate), 2};
  auto resampler = platform::AudioResampler::make(input, {encoder->sampleFormat(), input.sampleRate, 2},
                                                  platform::AudioChannelMatrix::identity(2, 2));
  for (auto _ : state) {
    for (const auto& buffer : buffers) {
      const std::uint8_t* planes[] = {reinterpret_cast<const std::uint8_t*>(buffer->floatChannelData()[0]),
                                      reinterpret_cast<const std::uint8_t*>(buffer->floatChannelData()[1])};
      resampler->push(planes, kFramesPerBuffer);
      encoder->encode(*resampler, kFramesPerBuffer);
      encoder->packets().clear();
    }
  }
  const double audioSeconds = static_cast<double>(state.iterations()) * kBuffersPerIteration * kFramesPerBuffer / kSampleRate;
  state.counters["realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

void BM_AudioEncodeAAC(benchmark::State& state) { encode(state, AudioCodecFormat::aac); }
void BM_AudioEncodeOpus(benchmark::State& state) { encode(state, AudioCodecFormat::opus); }

BENCHMARK(BM_AudioEncodeAAC)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AudioEncodeOpus)->Unit(benchmark::kMillisecond);
BENCHMARK(encodePackets<platform::VOAACAudioEncoder>)->Name("BM_AACPacketsSmallEncoder")->Unit(benchmark::kMillisecond);
BENCHMARK(encodePackets<platform::LibavAudioEncoder>)->Name("BM_AACPacketsCodecLibrary")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
