#include "Platform/CoreMedia/CVPixelBufferPool.hpp"

#include <mutex>
#include <new>
#include <vector>

namespace platform {

// Keeps the blocks of released buffers for reuse. Buffers hold it weakly, so
// a block released after its pool has gone is simply freed.
struct CVPixelBufferPool::Recycler {
  std::mutex mutex;
  std::vector<CVPixelBuffer::Block> freeBlocks;

  CVPixelBuffer::Block take(std::size_t size) {
    {
      std::lock_guard lock(mutex);
      if (!freeBlocks.empty()) {
        CVPixelBuffer::Block block = std::move(freeBlocks.back());
        freeBlocks.pop_back();
        return block;
      }
    }
    return CVPixelBuffer::allocateBlock(size);
  }

  void give(CVPixelBuffer::Block block) {
    std::lock_guard lock(mutex);
    freeBlocks.push_back(std::move(block));
  }
};

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
    : attributes_(attributes), geometry_(geometry), recycler_(std::make_shared<Recycler>()) {}

StatusOr<CVPixelBuffer> CVPixelBufferPool::createPixelBuffer() {
  CVPixelBuffer::Block block = recycler_->take(geometry_.dataSize);
  if (!block) return {kCVReturnPoolAllocationFailed, nullptr};
  std::weak_ptr<Recycler> recycler = recycler_;
  CVPixelBuffer::Storage storage(block.release(), [recycler](std::uint8_t* memory) {
    CVPixelBuffer::Block returned(memory);
    const auto pool = recycler.lock();
    if (!pool) return;
    try {
      pool->give(std::move(returned));
    } catch (const std::bad_alloc&) {
      // Could not keep it: the block is freed instead.
    }
  });
  return {kCVReturnSuccess, std::make_shared<CVPixelBuffer>(geometry_, std::move(storage))};
}

}  // namespace platform
