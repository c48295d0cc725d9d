#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>

#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"
#include "Platform/CoreMedia/CVPixelFormatType.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

// Synthetic raw media for the stream tests.
namespace fluvio::testing {

// A raw frame whose pixels move with `index`, so consecutive frames differ.
// Packed formats get a gradient in every byte, biplanar ones in both planes.
inline platform::CMSampleBuffer rawVideoFrame(int index, const platform::CMTime& time, std::int32_t width = 64,
                                              std::int32_t height = 48,
                                              platform::OSType pixelFormat = platform::kCVPixelFormatType_32BGRA) {
  const auto image = platform::CVPixelBuffer::make(width, height, pixelFormat).value;
  image->lockBaseAddress(0);
  const auto fill = [index](std::uint8_t* base, std::size_t bytesPerRow, std::size_t rows, std::size_t rowBytes) {
    for (std::size_t row = 0; row < rows; ++row) {
      for (std::size_t column = 0; column < rowBytes; ++column) {
        base[row * bytesPerRow + column] = static_cast<std::uint8_t>(row + column / 4 + 8 * index);
      }
    }
  };
  if (image->isPlanar()) {
    for (std::size_t plane = 0; plane < image->planeCount(); ++plane) {
      fill(image->baseAddressOfPlane(plane), image->bytesPerRowOfPlane(plane), image->heightOfPlane(plane),
           image->bytesPerRowOfPlane(plane));
    }
  } else {
    fill(image->baseAddress(), image->bytesPerRow(), image->height(), image->width() * 4);
  }
  image->unlockBaseAddress(0);
  const auto format = platform::CMFormatDescription::makeForImageBuffer(*image).value;
  const platform::CMSampleTimingInfo timing{platform::CMTime::make(1, 30), time, platform::CMTime::invalid};
  return *platform::CMSampleBuffer::makeReadyWithImageBuffer(image, format, timing).value;
}

inline platform::CMTime hostTimeNow() { return platform::HostClock::time(platform::HostClock::now()); }

// `frames` frames of a 1 kHz tone in deinterleaved float, starting at sample `firstFrame`.
inline std::shared_ptr<platform::AVAudioPCMBuffer> toneBuffer(const std::shared_ptr<platform::AVAudioFormat>& format,
                                                             std::uint32_t frames, std::int64_t firstFrame) {
  auto buffer = platform::AVAudioPCMBuffer::make(format, frames);
  buffer->setFrameLength(frames);
  for (std::uint32_t channel = 0; channel < format->channelCount(); ++channel) {
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
      const double seconds = static_cast<double>(firstFrame + frame) / format->sampleRate();
      buffer->floatChannelData()[channel][frame] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000 * seconds));
    }
  }
  return buffer;
}

// Sample `frame` of a stream whose sample 0 played at `startHostTime`.
inline std::shared_ptr<platform::AVAudioTime> audioTime(std::uint64_t startHostTime, std::int64_t frame, double rate) {
  const auto offset = static_cast<std::uint64_t>(std::llround(static_cast<double>(frame) * 1e9 / rate));
  return platform::AVAudioTime::make(startHostTime + offset, frame, rate);
}

}  // namespace fluvio::testing
