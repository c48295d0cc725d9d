#pragma once

#include <cstddef>
#include <memory>
#include <mutex>

#include "Platform/CoreMedia/CVPixelBuffer.hpp"
#include "Platform/CoreMedia/SharedObjectRecycler.hpp"

namespace platform {

inline constexpr CVReturn kCVReturnInvalidPoolAttributes = -6691;
inline constexpr CVReturn kCVReturnPoolAllocationFailed = -6690;
inline constexpr CVReturn kCVReturnWouldExceedAllocationThreshold = -6689;

// Makes pixel buffers of one format and size. A buffer no longer held goes
// back to the pool and is handed out again (its pixels as they were, its
// attachments and locks cleared), so a steady stream of frames allocates
// nothing. Thread-safe; buffers may outlive it.
class CVPixelBufferPool {
 public:
  // The attributes must name a pixel format, a width and a height.
  static StatusOr<CVPixelBufferPool> make(const CVPixelBufferAttributes& pixelBufferAttributes);

  StatusOr<CVPixelBuffer> createPixelBuffer();
  // As above, but a pool that has made `allocationThreshold` buffers makes
  // no more: without a free one it fails with
  // kCVReturnWouldExceedAllocationThreshold, which bounds the frames in flight.
  StatusOr<CVPixelBuffer> createPixelBuffer(std::size_t allocationThreshold);
  const CVPixelBufferAttributes& pixelBufferAttributes() const noexcept { return attributes_; }

 private:
  CVPixelBufferPool(const CVPixelBufferAttributes& attributes, const CVPixelBufferGeometry& geometry);

  CVPixelBufferAttributes attributes_;
  CVPixelBufferGeometry geometry_;
  std::mutex mutex_;
  // Buffers made so far: each is either held or kept for reuse.
  std::size_t made_ = 0;
  SharedObjectRecycler<CVPixelBuffer> buffers_;
};

}  // namespace platform
