#include "Platform/CoreMedia/CMBlockBuffer.hpp"

#include <algorithm>
#include <new>

namespace platform {
namespace {

bool isRangeInside(std::size_t offset, std::size_t length, std::size_t size) {
  return offset <= size && length <= size - offset;
}

}  // namespace

StatusOr<CMBlockBuffer> CMBlockBuffer::make(std::size_t length) {
  try {
    auto storage = std::make_shared<Bytes>(length);
    return {noErr, std::shared_ptr<CMBlockBuffer>(new CMBlockBuffer(std::move(storage), 0, length))};
  } catch (const std::bad_alloc&) {
    return {kCMBlockBufferBlockAllocationFailedErr, nullptr};
  } catch (const std::length_error&) {
    return {kCMBlockBufferBadLengthParameterErr, nullptr};
  }
}

StatusOr<CMBlockBuffer> CMBlockBuffer::make(std::span<const std::uint8_t> bytes) {
  try {
    auto storage = std::make_shared<Bytes>(bytes.begin(), bytes.end());
    return {noErr, std::shared_ptr<CMBlockBuffer>(new CMBlockBuffer(std::move(storage), 0, bytes.size()))};
  } catch (const std::bad_alloc&) {
    return {kCMBlockBufferBlockAllocationFailedErr, nullptr};
  }
}

std::shared_ptr<CMBlockBuffer> CMBlockBuffer::make(Bytes&& bytes) {
  const std::size_t length = bytes.size();
  return std::shared_ptr<CMBlockBuffer>(new CMBlockBuffer(std::make_shared<Bytes>(std::move(bytes)), 0, length));
}

StatusOr<CMBlockBuffer> CMBlockBuffer::slice(std::size_t offset, std::size_t length) const {
  if (offset > length_) return {kCMBlockBufferBadOffsetParameterErr, nullptr};
  if (length > length_ - offset) return {kCMBlockBufferBadLengthParameterErr, nullptr};
  return {noErr, std::shared_ptr<CMBlockBuffer>(new CMBlockBuffer(storage_, offset_ + offset, length))};
}

OSStatus CMBlockBuffer::copyDataBytes(std::size_t offset, std::span<std::uint8_t> destination) const {
  if (!isRangeInside(offset, destination.size(), length_)) return kCMBlockBufferBadLengthParameterErr;
  std::copy_n(data().begin() + offset, destination.size(), destination.begin());
  return noErr;
}

OSStatus CMBlockBuffer::replaceDataBytes(std::span<const std::uint8_t> source, std::size_t offset) {
  if (!isRangeInside(offset, source.size(), length_)) return kCMBlockBufferBadLengthParameterErr;
  std::copy(source.begin(), source.end(), mutableData().begin() + offset);
  return noErr;
}

}  // namespace platform
