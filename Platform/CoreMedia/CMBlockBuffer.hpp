#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Platform/CoreMedia/OSStatus.hpp"

namespace platform {

inline constexpr OSStatus kCMBlockBufferBlockAllocationFailedErr = -12701;
inline constexpr OSStatus kCMBlockBufferBadOffsetParameterErr = -12703;
inline constexpr OSStatus kCMBlockBufferBadLengthParameterErr = -12704;
inline constexpr OSStatus kCMBlockBufferBadPointerParameterErr = -12705;

// A contiguous run of bytes in reference-counted storage. A slice refers to
// the storage of its parent, so handing bytes on never copies them. Buffers
// and the storage they make come from the block pool: media passes through
// many of them a second.
class CMBlockBuffer {
  struct Internal {
    explicit Internal() = default;
  };
  using Storage = std::shared_ptr<std::uint8_t[]>;

 public:
  using Bytes = std::vector<std::uint8_t>;

  // `length` zeroed bytes of its own.
  static StatusOr<CMBlockBuffer> make(std::size_t length);
  // A copy of `bytes`.
  static StatusOr<CMBlockBuffer> make(std::span<const std::uint8_t> bytes);
  // Takes over `bytes` without copying.
  static std::shared_ptr<CMBlockBuffer> make(Bytes&& bytes);

  // `length` bytes at `offset` of this buffer, sharing its storage.
  StatusOr<CMBlockBuffer> slice(std::size_t offset, std::size_t length) const;

  std::size_t dataLength() const noexcept { return length_; }
  bool isContiguous() const noexcept { return true; }
  std::span<const std::uint8_t> data() const noexcept { return {storage_.get() + offset_, length_}; }
  // Writable view; slices write through to the storage they share.
  std::span<std::uint8_t> mutableData() noexcept { return {storage_.get() + offset_, length_}; }

  // Copies destination.size() bytes starting at `offset`; fails without
  // writing anything when the range runs past the end.
  OSStatus copyDataBytes(std::size_t offset, std::span<std::uint8_t> destination) const;
  // Overwrites bytes from `offset` on; fails without writing past the end.
  OSStatus replaceDataBytes(std::span<const std::uint8_t> source, std::size_t offset);

  // For the makers above, which take the buffer from the block pool.
  CMBlockBuffer(Internal, Storage storage, std::size_t offset, std::size_t length) noexcept
      : storage_(std::move(storage)), offset_(offset), length_(length) {}

 private:
  static std::shared_ptr<CMBlockBuffer> share(Storage storage, std::size_t offset, std::size_t length);

  Storage storage_;
  std::size_t offset_;
  std::size_t length_;
};

}  // namespace platform
