#pragma once

// Sample buffers of test pictures, and what a session yields into a stream.

#include <memory>
#include <vector>

#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace videotest {

using SampleStream = platform::AsyncStream<platform::CMSampleBuffer>;

// Frame `frame` of a 30 fps sequence.
inline platform::CMSampleBuffer makeVideoSample(const std::shared_ptr<platform::CVPixelBuffer>& picture, int frame) {
  const auto format = platform::CMFormatDescription::makeForImageBuffer(*picture).value;
  const platform::CMSampleTimingInfo timing{platform::CMTime::make(1, 30), platform::CMTime::make(frame, 30),
                                            platform::CMTime::invalid};
  return *platform::CMSampleBuffer::makeReadyWithImageBuffer(picture, format, timing).value;
}

// The next `count` samples, fewer when the stream ends first.
inline std::vector<platform::CMSampleBuffer> collectSamples(const SampleStream& stream, std::size_t count) {
  return platform::blockOn([&stream, count]() -> platform::Async<std::vector<platform::CMSampleBuffer>> {
    std::vector<platform::CMSampleBuffer> samples;
    while (samples.size() < count) {
      auto sample = co_await stream.next();
      if (!sample) break;
      samples.push_back(std::move(*sample));
    }
    co_return samples;
  });
}

}  // namespace videotest
