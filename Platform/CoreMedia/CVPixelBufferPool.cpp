#include "Platform/CoreMedia/CVPixelBufferPool.hpp"

#include <cstdint>
#include <new>

namespace platform {

StatusOr<CVPixelBufferPool> CVPixelBufferPool::make(const CVPixelBufferAttributes& pixelBufferAttributes) {
  if (!pixelBufferAttributes.pixelFormatType || !pixelBufferAttributes.width || !pixelBufferAttributes.height) {
    return {kCVReturnInvalidPoolAttributes, nullptr};
  }
  if (!CVPixelBufferGeometry::isSupported(*pixelBufferAttributes.pixelFormatType)) {
    return {kCVReturnInvalidPixelFormat, nullptr};
  }
  const auto geometry = CVPixelBufferGeometry::make(*pixelBufferAttributes.width, *pixelBufferAttributes.height,
                                                    *pixelBufferAttributes.pixelFormatType);
  if (!geometry) return {kCVReturnInvalidSize, nullptr};
  return {kCVReturnSuccess, std::shared_ptr<CVPixelBufferPool>(new CVPixelBufferPool(pixelBufferAttributes, *geometry))};
}

CVPixelBufferPool::CVPixelBufferPool(const CVPixelBufferAttributes& attributes, const CVPixelBufferGeometry& geometry)
    : attributes_(attributes),
      geometry_(geometry),
      buffers_([](CVPixelBuffer& buffer) noexcept { buffer.clearForReuse(); }) {}

StatusOr<CVPixelBuffer> CVPixelBufferPool::createPixelBuffer() { return createPixelBuffer(SIZE_MAX); }

StatusOr<CVPixelBuffer> CVPixelBufferPool::createPixelBuffer(std::size_t allocationThreshold) {
  bool overThreshold = false;
  auto buffer = buffers_.take([&]() -> std::unique_ptr<CVPixelBuffer> {
    {
      const std::lock_guard lock(mutex_);
      overThreshold = made_ >= allocationThreshold;
      if (overThreshold) return nullptr;
      ++made_;
    }
    std::unique_ptr<CVPixelBuffer> made;
    try {
      CVPixelBuffer::Block block = CVPixelBuffer::allocateBlock(geometry_.dataSize);
      if (block) made = std::make_unique<CVPixelBuffer>(geometry_, CVPixelBuffer::Storage(std::move(block)));
    } catch (const std::bad_alloc&) {
    }
    if (!made) {
      const std::lock_guard lock(mutex_);
      --made_;
    }
    return made;
  });
  if (overThreshold) return {kCVReturnWouldExceedAllocationThreshold, nullptr};
  if (!buffer) return {kCVReturnPoolAllocationFailed, nullptr};
  return {kCVReturnSuccess, std::move(buffer)};
}

}  // namespace platform
