#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/CoreMedia/CVPixelFormatType.hpp"
#include "Platform/CoreMedia/OSStatus.hpp"

namespace platform {

using CVReturn = std::int32_t;
inline constexpr CVReturn kCVReturnSuccess = 0;
inline constexpr CVReturn kCVReturnError = -6660;
inline constexpr CVReturn kCVReturnInvalidArgument = -6661;
inline constexpr CVReturn kCVReturnAllocationFailed = -6662;
inline constexpr CVReturn kCVReturnInvalidPixelFormat = -6680;
inline constexpr CVReturn kCVReturnInvalidSize = -6681;

using CVPixelBufferLockFlags = std::uint64_t;
inline constexpr CVPixelBufferLockFlags kCVPixelBufferLock_ReadOnly = 1;

enum class CVAttachmentMode : std::uint32_t {
  shouldNotPropagate = 0,
  shouldPropagate = 1,
};

inline const std::string kCVImageBufferColorPrimariesKey = "ColorPrimaries";
inline const std::string kCVImageBufferColorPrimaries_ITU_R_2020 = "ITU_R_2020";
inline const std::string kCVImageBufferTransferFunctionKey = "TransferFunction";
inline const std::string kCVImageBufferTransferFunction_ITU_R_2100_HLG = "ITU_R_2100_HLG";
inline const std::string kCVImageBufferYCbCrMatrixKey = "YCbCrMatrix";
inline const std::string kCVImageBufferYCbCrMatrix_ITU_R_2020 = "ITU_R_2020";

// Attributes of the buffers a pool makes (or that a session asks for).
struct CVPixelBufferAttributes {
  std::optional<OSType> pixelFormatType;
  std::optional<std::int32_t> width;
  std::optional<std::int32_t> height;
  bool metalCompatibility = false;
  bool ioSurfaceProperties = false;

  friend bool operator==(const CVPixelBufferAttributes&, const CVPixelBufferAttributes&) = default;
};

// An image in memory: one block holding every plane. Stages pass the buffer
// itself, never a copy of its pixels. The base address must be locked while
// the pixels are read or written; locks and attachments are thread-safe.
class CVPixelBuffer {
 public:
  using Attachments = std::map<std::string, std::string>;
  using Storage = std::shared_ptr<std::uint8_t[]>;

  struct BlockDeleter {
    void operator()(std::uint8_t* block) const noexcept;
  };
  // Zeroed memory aligned to CVPixelBufferGeometry::rowAlignment; null when
  // it cannot be had.
  using Block = std::unique_ptr<std::uint8_t[], BlockDeleter>;
  static Block allocateBlock(std::size_t size) noexcept;

  static StatusOr<CVPixelBuffer> make(std::int32_t width, std::int32_t height, OSType pixelFormatType);
  // Pools hand in storage of at least geometry.dataSize bytes.
  CVPixelBuffer(const CVPixelBufferGeometry& geometry, Storage storage);

  std::size_t width() const noexcept { return geometry_.width; }
  std::size_t height() const noexcept { return geometry_.height; }
  OSType pixelFormatType() const noexcept { return geometry_.pixelFormatType; }
  // Bytes of the whole block, every plane and its padding included.
  std::size_t dataSize() const noexcept { return geometry_.dataSize; }
  // 0 for a packed format.
  std::size_t planeCount() const noexcept { return geometry_.planeCount; }
  bool isPlanar() const noexcept { return geometry_.planeCount > 0; }

  // Packed formats: the pixels; planar formats: the first plane.
  std::uint8_t* baseAddress() const noexcept { return storage_.get(); }
  std::size_t bytesPerRow() const noexcept { return geometry_.planes[0].bytesPerRow; }
  // Null or 0 for a plane index out of range and for any index of a packed format.
  std::uint8_t* baseAddressOfPlane(std::size_t plane) const noexcept;
  std::size_t widthOfPlane(std::size_t plane) const noexcept;
  std::size_t heightOfPlane(std::size_t plane) const noexcept;
  std::size_t bytesPerRowOfPlane(std::size_t plane) const noexcept;

  // Locks nest; an unlock must name the flags of a lock still held.
  CVReturn lockBaseAddress(CVPixelBufferLockFlags flags);
  CVReturn unlockBaseAddress(CVPixelBufferLockFlags flags);

  void setAttachment(const std::string& key, const std::string& value, CVAttachmentMode mode);
  // The attachments of the given mode only.
  Attachments attachments(CVAttachmentMode mode) const;
  void setAttachments(const Attachments& attachments, CVAttachmentMode mode);

 private:
  friend class CVPixelBufferPool;

  const CVPixelBufferGeometry::Plane* plane(std::size_t index) const noexcept;
  // Back to the state of a new buffer but for the pixels, for a pool to hand out again.
  void clearForReuse() noexcept;

  CVPixelBufferGeometry geometry_;
  Storage storage_;

  mutable std::mutex mutex_;
  int readOnlyLocks_ = 0;
  int writableLocks_ = 0;
  std::map<std::string, std::pair<std::string, CVAttachmentMode>> attachments_;
};

}  // namespace platform
