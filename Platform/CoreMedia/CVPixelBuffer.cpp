#include "Platform/CoreMedia/CVPixelBuffer.hpp"

#include <cstring>
#include <new>

namespace platform {
namespace {

constexpr std::align_val_t blockAlignment{CVPixelBufferGeometry::rowAlignment};

}  // namespace

void CVPixelBuffer::BlockDeleter::operator()(std::uint8_t* block) const noexcept {
  ::operator delete[](block, blockAlignment);
}

CVPixelBuffer::Block CVPixelBuffer::allocateBlock(std::size_t size) noexcept {
  auto* memory = static_cast<std::uint8_t*>(::operator new[](size, blockAlignment, std::nothrow));
  if (memory != nullptr) std::memset(memory, 0, size);
  return Block(memory);
}

StatusOr<CVPixelBuffer> CVPixelBuffer::make(std::int32_t width, std::int32_t height, OSType pixelFormatType) {
  if (!CVPixelBufferGeometry::isSupported(pixelFormatType)) return {kCVReturnInvalidPixelFormat, nullptr};
  const auto geometry = CVPixelBufferGeometry::make(width, height, pixelFormatType);
  if (!geometry) return {kCVReturnInvalidSize, nullptr};
  Block block = allocateBlock(geometry->dataSize);
  if (!block) return {kCVReturnAllocationFailed, nullptr};
  return {kCVReturnSuccess, std::make_shared<CVPixelBuffer>(*geometry, Storage(std::move(block)))};
}

CVPixelBuffer::CVPixelBuffer(const CVPixelBufferGeometry& geometry, Storage storage)
    : geometry_(geometry), storage_(std::move(storage)) {}

const CVPixelBufferGeometry::Plane* CVPixelBuffer::plane(std::size_t index) const noexcept {
  return index < geometry_.planeCount ? &geometry_.planes[index] : nullptr;
}

std::uint8_t* CVPixelBuffer::baseAddressOfPlane(std::size_t index) const noexcept {
  const auto* found = plane(index);
  return found ? storage_.get() + found->offset : nullptr;
}

std::size_t CVPixelBuffer::widthOfPlane(std::size_t index) const noexcept {
  const auto* found = plane(index);
  return found ? found->width : 0;
}

std::size_t CVPixelBuffer::heightOfPlane(std::size_t index) const noexcept {
  const auto* found = plane(index);
  return found ? found->height : 0;
}

std::size_t CVPixelBuffer::bytesPerRowOfPlane(std::size_t index) const noexcept {
  const auto* found = plane(index);
  return found ? found->bytesPerRow : 0;
}

void CVPixelBuffer::clearForReuse() noexcept {
  std::lock_guard lock(mutex_);
  readOnlyLocks_ = 0;
  writableLocks_ = 0;
  attachments_.clear();
}

CVReturn CVPixelBuffer::lockBaseAddress(CVPixelBufferLockFlags flags) {
  if ((flags & ~kCVPixelBufferLock_ReadOnly) != 0) return kCVReturnInvalidArgument;
  std::lock_guard lock(mutex_);
  ++((flags & kCVPixelBufferLock_ReadOnly) ? readOnlyLocks_ : writableLocks_);
  return kCVReturnSuccess;
}

CVReturn CVPixelBuffer::unlockBaseAddress(CVPixelBufferLockFlags flags) {
  if ((flags & ~kCVPixelBufferLock_ReadOnly) != 0) return kCVReturnInvalidArgument;
  std::lock_guard lock(mutex_);
  int& locks = (flags & kCVPixelBufferLock_ReadOnly) ? readOnlyLocks_ : writableLocks_;
  if (locks == 0) return kCVReturnError;
  --locks;
  return kCVReturnSuccess;
}

void CVPixelBuffer::setAttachment(const std::string& key, const std::string& value, CVAttachmentMode mode) {
  std::lock_guard lock(mutex_);
  attachments_[key] = {value, mode};
}

CVPixelBuffer::Attachments CVPixelBuffer::attachments(CVAttachmentMode mode) const {
  std::lock_guard lock(mutex_);
  Attachments selected;
  for (const auto& [key, entry] : attachments_) {
    if (entry.second == mode) selected.emplace(key, entry.first);
  }
  return selected;
}

void CVPixelBuffer::setAttachments(const Attachments& attachments, CVAttachmentMode mode) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : attachments) attachments_[key] = {value, mode};
}

}  // namespace platform
