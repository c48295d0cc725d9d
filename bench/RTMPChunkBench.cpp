// Chunking of 720p media messages at the broadcast's chunk size (8192), and
// reading a recorded media stream back, each beside a memcpy of the same
// bytes. Bytes per second count payload bytes.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkReader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkWriter.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using rtmpfluvio::RTMPChunkType;

constexpr std::uint32_t kChunkSize = 8192;
constexpr std::uint32_t kVideoChunkStream = 5;

rtmpfluvio::RTMPVideoMessage frame(std::size_t size, std::uint32_t timestamp) {
  Bytes payload(size);
  for (std::size_t index = 0; index < size; ++index) payload[index] = static_cast<std::uint8_t>(index * 131);
  return rtmpfluvio::RTMPVideoMessage(1, timestamp, std::move(payload));
}

void chunking(benchmark::State& state) {
  const auto message = frame(static_cast<std::size_t>(state.range(0)), 33);
  rtmpfluvio::RTMPChunkWriter writer;
  writer.setChunkSize(kChunkSize);
  for (auto _ : state) {
    Bytes chunks;
    writer.write(RTMPChunkType::one, kVideoChunkStream, message, chunks);
    benchmark::DoNotOptimize(chunks.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void memcpyOfTheSameBytes(benchmark::State& state) {
  const auto message = frame(static_cast<std::size_t>(state.range(0)), 33);
  for (auto _ : state) {
    Bytes copy(message.payload().size());
    std::memcpy(copy.data(), message.payload().data(), copy.size());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// One second of a 30 fps stream: a key frame, then inter frames.
Bytes recordedStream(std::size_t& payloadBytes) {
  rtmpfluvio::RTMPChunkWriter writer;
  writer.setChunkSize(kChunkSize);
  Bytes stream;
  payloadBytes = 0;
  for (std::uint32_t index = 0; index < 30; ++index) {
    const auto message = frame(index == 0 ? 60 * 1024 : 8 * 1024, index == 0 ? 0 : 33);
    writer.write(index == 0 ? RTMPChunkType::zero : RTMPChunkType::one, kVideoChunkStream, message, stream);
    payloadBytes += message.payload().size();
  }
  return stream;
}

void reading(benchmark::State& state) {
  std::size_t payloadBytes = 0;
  const Bytes stream = recordedStream(payloadBytes);
  const std::size_t piece = 64 * 1024;  // what one socket receive hands over
  for (auto _ : state) {
    rtmpfluvio::RTMPChunkReader reader;
    reader.setChunkSize(kChunkSize);
    for (std::size_t offset = 0; offset < stream.size(); offset += piece) {
      reader.put(std::span(stream).subspan(offset, std::min(piece, stream.size() - offset)));
      while (const auto message = reader.next()) benchmark::DoNotOptimize(message->header.payload.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payloadBytes));
}

void memcpyOfTheRecordedStream(benchmark::State& state) {
  std::size_t payloadBytes = 0;
  const Bytes stream = recordedStream(payloadBytes);
  for (auto _ : state) {
    Bytes copy(stream.size());
    std::memcpy(copy.data(), stream.data(), stream.size());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payloadBytes));
}

}  // namespace

BENCHMARK(chunking)->Arg(60 * 1024)->Arg(8 * 1024);
BENCHMARK(memcpyOfTheSameBytes)->Arg(60 * 1024)->Arg(8 * 1024);
BENCHMARK(reading);
BENCHMARK(memcpyOfTheRecordedStream);

BENCHMARK_MAIN();
