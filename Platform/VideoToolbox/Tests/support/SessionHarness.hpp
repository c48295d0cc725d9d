#pragma once

// Drives the platform sessions in tests: feeds frames, collects what the
// output handlers hand back on the sessions' threads.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/VideoToolbox/VTCompressionSession.hpp"
#include "Platform/VideoToolbox/VTDecompressionSession.hpp"

namespace videotest {

inline constexpr std::int32_t framesPerSecond = 30;

inline platform::CMTime frameTime(int frame) { return platform::CMTime::make(frame, framesPerSecond); }
inline platform::CMTime framePeriod() { return platform::CMTime::make(1, framesPerSecond); }

struct EncodedSamples {
  std::mutex mutex;
  std::vector<std::shared_ptr<platform::CMSampleBuffer>> samples;
  std::vector<platform::OSStatus> failures;

  platform::VTCompressionSession::OutputHandler handler() {
    return [this](platform::OSStatus status, platform::VTEncodeInfoFlags,
                  std::shared_ptr<platform::CMSampleBuffer> sample) {
      std::lock_guard lock(mutex);
      if (sample) {
        samples.push_back(std::move(sample));
      } else {
        failures.push_back(status);
      }
    };
  }
};

struct DecodedPictures {
  std::mutex mutex;
  std::vector<std::shared_ptr<platform::CVPixelBuffer>> pictures;
  std::vector<platform::CMTime> times;
  std::vector<platform::OSStatus> failures;

  platform::VTDecompressionSession::OutputHandler handler() {
    return [this](platform::OSStatus status, platform::VTDecodeInfoFlags,
                  std::shared_ptr<platform::CVPixelBuffer> picture, const platform::CMTime& time, const platform::CMTime&) {
      std::lock_guard lock(mutex);
      if (picture) {
        pictures.push_back(std::move(picture));
        times.push_back(time);
      } else {
        failures.push_back(status);
      }
    };
  }
};

// Every sample through a new decompression session of the first sample's format.
inline void decodeAll(const std::vector<std::shared_ptr<platform::CMSampleBuffer>>& samples, DecodedPictures& decoded) {
  if (samples.empty()) return;
  const auto session = platform::VTDecompressionSession::make(samples.front()->formatDescription(), nullptr, std::nullopt);
  if (!session) return;
  for (const auto& sample : samples) {
    session.value->decodeFrame(*sample, platform::kVTDecodeFrame_EnableAsynchronousDecompression, decoded.handler());
  }
  session.value->finishDelayedFrames();
}

inline std::size_t totalBytes(const std::vector<std::shared_ptr<platform::CMSampleBuffer>>& samples, std::size_t begin,
                              std::size_t end) {
  std::size_t bytes = 0;
  for (std::size_t index = begin; index < end && index < samples.size(); ++index) bytes += samples[index]->totalSampleSize();
  return bytes;
}

}  // namespace videotest
