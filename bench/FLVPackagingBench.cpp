// The cost of packaging one encoded 720p H.264 frame into its FLV video body,
// for a key frame and an inter frame of the sizes a 2.2 Mbit/s broadcast
// produces.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPVideoMessage.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::CMTime;

// Baseline 3.1 parameter sets of a 1280x720 stream.
const Bytes kSPS{0x67, 0x42, 0xC0, 0x1F, 0xDA, 0x01, 0x40, 0x16, 0xE4};
const Bytes kPPS{0x68, 0xCE, 0x3C, 0x80};

constexpr std::size_t kKeyFrameSize = 60 * 1024;
constexpr std::size_t kInterFrameSize = 8 * 1024;
constexpr std::uint8_t kIDRSliceHeader = 0x65;
constexpr std::uint8_t kNonIDRSliceHeader = 0x41;

std::shared_ptr<const platform::CMFormatDescription> makeDescription() {
  const std::span<const std::uint8_t> sets[] = {kSPS, kPPS};
  return platform::CMFormatDescription::makeFromH264ParameterSets(sets, 4).value;
}

// One slice NAL unit behind its 4-byte length, `size` bytes in all; the slice
// data is filler that holds no start code.
Bytes lengthPrefixedSlice(std::uint8_t nalHeader, std::size_t size) {
  const auto nalSize = static_cast<std::uint32_t>(size - 4);
  Bytes frame{static_cast<std::uint8_t>(nalSize >> 24), static_cast<std::uint8_t>(nalSize >> 16),
              static_cast<std::uint8_t>(nalSize >> 8), static_cast<std::uint8_t>(nalSize), nalHeader};
  frame.reserve(size);
  for (std::size_t index = frame.size(); index < size; ++index) {
    frame.push_back(static_cast<std::uint8_t>(1 + (index * 131) % 255));
  }
  return frame;
}

std::shared_ptr<platform::CMSampleBuffer> makeFrame(
    const std::shared_ptr<const platform::CMFormatDescription>& description, Bytes data, bool isKeyFrame) {
  const std::size_t size = data.size();
  // A frame a second in, decoded in presentation order.
  const platform::CMSampleTimingInfo timing{CMTime::make(1, 30), CMTime::make(1, 1), CMTime::make(1, 1)};
  auto sample = platform::CMSampleBuffer::make(platform::CMBlockBuffer::make(std::move(data)), true, description, 1,
                                               {&timing, 1}, {&size, 1});
  if (!sample) return nullptr;
  fluvio::setNotSync(*sample.value, !isKeyFrame);
  return sample.value;
}

void packageFrame(benchmark::State& state, bool isKeyFrame) {
  const auto description = makeDescription();
  if (!description || description->dimensions() != platform::CMVideoDimensions{1280, 720}) {
    state.SkipWithError("the parameter sets do not describe a 720p stream");
    return;
  }
  const std::size_t frameSize = isKeyFrame ? kKeyFrameSize : kInterFrameSize;
  const auto frame =
      makeFrame(description, lengthPrefixedSlice(isKeyFrame ? kIDRSliceHeader : kNonIDRSliceHeader, frameSize),
                isKeyFrame);
  const auto packaged = rtmpfluvio::RTMPVideoMessage::make(1, 1000, frame.get());
  const std::uint8_t expectedFirstByte = isKeyFrame ? 0x17 : 0x27;
  if (!packaged || packaged->payload().size() != frameSize + rtmpfluvio::flv::kLegacyVideoHeaderSize ||
      packaged->payload()[0] != expectedFirstByte) {
    state.SkipWithError("the frame does not package into an H.264 body");
    return;
  }

  for (auto _ : state) {
    auto message = rtmpfluvio::RTMPVideoMessage::make(1, 1000, frame.get());
    benchmark::DoNotOptimize(message);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frameSize));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

BENCHMARK_CAPTURE(packageFrame, keyFrame60KB, true);
BENCHMARK_CAPTURE(packageFrame, interFrame8KB, false);

}  // namespace

BENCHMARK_MAIN();
