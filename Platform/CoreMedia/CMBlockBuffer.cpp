#include "Platform/CoreMedia/CMBlockBuffer.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <new>

#include "Platform/Concurrency/BlockPool.hpp"

namespace platform {
namespace {

using detail::BlockAllocator;

// As many bytes as an object may span.
constexpr auto kMostBytes = static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());

bool isRangeInside(std::size_t offset, std::size_t length, std::size_t size) {
  return offset <= size && length <= size - offset;
}

}  // namespace

StatusOr<CMBlockBuffer> CMBlockBuffer::make(std::size_t length) {
  if (length > kMostBytes) return {kCMBlockBufferBadLengthParameterErr, nullptr};
  try {
    return {noErr, share(std::allocate_shared<std::uint8_t[]>(BlockAllocator<std::uint8_t>(), length), 0, length)};
  } catch (const std::bad_alloc&) {
    return {kCMBlockBufferBlockAllocationFailedErr, nullptr};
  }
}

StatusOr<CMBlockBuffer> CMBlockBuffer::make(std::span<const std::uint8_t> bytes) {
  try {
    auto storage = std::allocate_shared_for_overwrite<std::uint8_t[]>(BlockAllocator<std::uint8_t>(), bytes.size());
    std::copy(bytes.begin(), bytes.end(), storage.get());
    return {noErr, share(std::move(storage), 0, bytes.size())};
  } catch (const std::bad_alloc&) {
    return {kCMBlockBufferBlockAllocationFailedErr, nullptr};
  }
}

std::shared_ptr<CMBlockBuffer> CMBlockBuffer::make(Bytes&& bytes) {
  const std::size_t length = bytes.size();
  auto owner = detail::makePooled<Bytes>(std::move(bytes));
  return share(Storage(owner, owner->data()), 0, length);
}

StatusOr<CMBlockBuffer> CMBlockBuffer::slice(std::size_t offset, std::size_t length) const {
  if (offset > length_) return {kCMBlockBufferBadOffsetParameterErr, nullptr};
  if (length > length_ - offset) return {kCMBlockBufferBadLengthParameterErr, nullptr};
  return {noErr, share(storage_, offset_ + offset, length)};
}

std::shared_ptr<CMBlockBuffer> CMBlockBuffer::share(Storage storage, std::size_t offset, std::size_t length) {
  return detail::makePooled<CMBlockBuffer>(Internal(), std::move(storage), offset, length);
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
