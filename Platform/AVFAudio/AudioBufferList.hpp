#pragma once

#include <cstdint>
#include <span>

namespace platform {

// One block of samples: a whole interleaved stream or one channel of a planar one.
struct AudioBuffer {
  std::uint32_t mNumberChannels = 0;
  std::uint32_t mDataByteSize = 0;
  void* mData = nullptr;
};

// The buffers of one audio buffer, as renderers and converters write into them.
// The list does not own its entries: whoever hands it out keeps them alive and
// keeps `mData` pointing at its own storage.
struct AudioBufferList {
  std::uint32_t mNumberBuffers = 0;
  AudioBuffer* mBuffers = nullptr;

  std::span<AudioBuffer> buffers() const noexcept { return {mBuffers, mNumberBuffers}; }
};

}  // namespace platform
