#include "Platform/CoreMedia/CVPixelBufferPool.hpp"

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

StatusOr<CVPixelBuffer> CVPixelBufferPool::createPixelBuffer() {
  auto buffer = buffers_.take([this]() -> std::unique_ptr<CVPixelBuffer> {
    CVPixelBuffer::Block block = CVPixelBuffer::allocateBlock(geometry_.dataSize);
    if (!block) return nullptr;
    return std::make_unique<CVPixelBuffer>(geometry_, CVPixelBuffer::Storage(std::move(block)));
  });
  if (!buffer) return {kCVReturnPoolAllocationFailed, nullptr};
  return {kCVReturnSuccess, std::move(buffer)};
}

}  // namespace platform
