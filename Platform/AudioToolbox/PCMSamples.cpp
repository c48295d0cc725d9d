#include "Platform/AudioToolbox/PCMSamples.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace platform {

namespace {

template <class Integer>
float toFloat(Integer sample) {
  return static_cast<float>(sample) / (static_cast<float>(std::numeric_limits<Integer>::max()) + 1.0f);
}

template <class Integer>
Integer toInteger(float sample) {
  const double scaled = std::nearbyint(static_cast<double>(sample) * (double(std::numeric_limits<Integer>::max()) + 1));
  if (!(scaled == scaled)) return 0;
  return static_cast<Integer>(std::clamp(scaled, double(std::numeric_limits<Integer>::min()),
                                         double(std::numeric_limits<Integer>::max())));
}

// Calls visit(sampleAddress, interleavedIndex) for every sample, or gives
// false when the list is too small for the frames.
template <class Visit>
bool forEachSample(const AudioStreamBasicDescription& format, const AudioBufferList& list, std::uint32_t frames,
                   Visit&& visit) {
  const std::uint32_t channels = format.mChannelsPerFrame;
  const std::size_t bytesPerSample = format.mBitsPerChannel / 8;
  const bool planar = format.isNonInterleaved();
  const std::uint32_t bufferCount = planar ? channels : 1;
  if (list.mNumberBuffers != bufferCount || bytesPerSample == 0) return false;
  const std::size_t bytesPerBuffer = std::size_t(frames) * bytesPerSample * (planar ? 1 : channels);
  for (const auto& buffer : list.buffers()) {
    if (buffer.mData == nullptr || buffer.mDataByteSize < bytesPerBuffer) return false;
  }
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
      auto* base = static_cast<std::uint8_t*>(list.mBuffers[planar ? channel : 0].mData);
      const std::size_t index = planar ? frame : std::size_t(frame) * channels + channel;
      visit(base + index * bytesPerSample, std::size_t(frame) * channels + channel);
    }
  }
  return true;
}

enum class Kind { int16, int32, float32, float64 };

Kind kindOf(const AudioStreamBasicDescription& format) {
  if ((format.mFormatFlags & kAudioFormatFlagIsFloat) != 0) return format.mBitsPerChannel == 64 ? Kind::float64 : Kind::float32;
  return format.mBitsPerChannel == 32 ? Kind::int32 : Kind::int16;
}

}  // namespace

bool readPCMAsFloat(const AudioStreamBasicDescription& format, const AudioBufferList& list, std::uint32_t frames,
                    std::span<float> interleaved) {
  if (interleaved.size() < std::size_t(frames) * format.mChannelsPerFrame) return false;
  const Kind kind = kindOf(format);
  return forEachSample(format, list, frames, [&](const std::uint8_t* sample, std::size_t index) {
    switch (kind) {
      case Kind::int16: { std::int16_t v; std::memcpy(&v, sample, sizeof v); interleaved[index] = toFloat(v); break; }
      case Kind::int32: { std::int32_t v; std::memcpy(&v, sample, sizeof v); interleaved[index] = toFloat(v); break; }
      case Kind::float32: { float v; std::memcpy(&v, sample, sizeof v); interleaved[index] = v; break; }
      case Kind::float64: { double v; std::memcpy(&v, sample, sizeof v); interleaved[index] = float(v); break; }
    }
  });
}

bool writePCMFromFloat(const AudioStreamBasicDescription& format, std::span<const float> interleaved,
                       std::uint32_t frames, AudioBufferList& list) {
  if (interleaved.size() < std::size_t(frames) * format.mChannelsPerFrame) return false;
  const Kind kind = kindOf(format);
  return forEachSample(format, list, frames, [&](std::uint8_t* sample, std::size_t index) {
    const float value = interleaved[index];
    switch (kind) {
      case Kind::int16: { auto v = toInteger<std::int16_t>(value); std::memcpy(sample, &v, sizeof v); break; }
      case Kind::int32: { auto v = toInteger<std::int32_t>(value); std::memcpy(sample, &v, sizeof v); break; }
      case Kind::float32: { std::memcpy(sample, &value, sizeof value); break; }
      case Kind::float64: { double v = value; std::memcpy(sample, &v, sizeof v); break; }
    }
  });
}

void silence(AudioBufferList& list) {
  for (auto& buffer : list.buffers()) {
    if (buffer.mData != nullptr) std::memset(buffer.mData, 0, buffer.mDataByteSize);
  }
}

}  // namespace platform
