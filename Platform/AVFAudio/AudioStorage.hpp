#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace platform {

struct AudioStorageDeleter {
  void operator()(void* pointer) const noexcept { std::free(pointer); }
};

// Zeroed sample storage of an audio buffer; null when the allocation failed.
using AudioStorage = std::unique_ptr<std::byte, AudioStorageDeleter>;

inline AudioStorage makeAudioStorage(std::size_t byteCount) noexcept {
  return AudioStorage(static_cast<std::byte*>(std::calloc(byteCount == 0 ? 1 : byteCount, 1)));
}

}  // namespace platform
