#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/CoreMedia/CMBlockBuffer.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleEntries.hpp"
#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"
#include "Platform/CoreMedia/OSStatus.hpp"

namespace platform {

inline constexpr OSStatus kCMSampleBufferError_AllocationFailed = -12730;
inline constexpr OSStatus kCMSampleBufferError_RequiredParameterMissing = -12731;
inline constexpr OSStatus kCMSampleBufferError_AlreadyHasDataBuffer = -12732;
inline constexpr OSStatus kCMSampleBufferError_BufferNotReady = -12733;
inline constexpr OSStatus kCMSampleBufferError_SampleIndexOutOfRange = -12734;
inline constexpr OSStatus kCMSampleBufferError_ArrayTooSmall = -12737;
inline constexpr OSStatus kCMSampleBufferError_InvalidEntryCount = -12738;
inline constexpr OSStatus kCMSampleBufferError_InvalidMediaTypeForOperation = -12741;
inline constexpr OSStatus kCMSampleBufferError_InvalidSampleData = -12742;
inline constexpr OSStatus kCMSampleBufferError_InvalidMediaFormat = -12743;

struct CMSampleTimingInfo {
  CMTime duration = CMTime::invalid;
  CMTime presentationTimeStamp = CMTime::invalid;
  CMTime decodeTimeStamp = CMTime::invalid;

  friend bool operator==(const CMSampleTimingInfo&, const CMSampleTimingInfo&) = default;
};

enum class CMSampleAttachmentKey {
  notSync,
  dependsOnOthers,
};

// A per-sample attachment: a flag or a number. The dictionaries come from
// the block pool, as every encoded frame but a key frame carries one.
using CMSampleAttachmentValue = std::variant<bool, std::int64_t>;
using CMSampleAttachments =
    std::map<CMSampleAttachmentKey, CMSampleAttachmentValue, std::less<CMSampleAttachmentKey>,
             detail::BlockAllocator<std::pair<const CMSampleAttachmentKey, CMSampleAttachmentValue>>>;
using CMSampleAttachmentsArray = std::vector<CMSampleAttachments, detail::BlockAllocator<CMSampleAttachments>>;

// True for the flag true and any number other than 0.
bool isTrue(const CMSampleAttachmentValue& value) noexcept;

// One or more media samples: coded bytes in a data buffer, or one picture in
// an image buffer, with their format, timing and sizes. Copying a sample
// buffer's handle never copies its media. Made from the block pool. Not locked: whoever changes the
// attachments or the data must own the buffer for that call.
class CMSampleBuffer {
 public:
  // Samples in `dataBuffer` (which may come later, see setDataBuffer). Timing
  // and sizes hold 0, 1 (the same for every sample) or numSamples entries;
  // the sizes must fit in the data buffer.
  static StatusOr<CMSampleBuffer> make(std::shared_ptr<CMBlockBuffer> dataBuffer, bool dataReady,
                                       std::shared_ptr<const CMFormatDescription> formatDescription,
                                       std::size_t numSamples, std::span<const CMSampleTimingInfo> sampleTimings,
                                       std::span<const std::size_t> sampleSizes);
  // One picture; the description must be video of the buffer's format and size.
  static StatusOr<CMSampleBuffer> makeReadyWithImageBuffer(std::shared_ptr<CVPixelBuffer> imageBuffer,
                                                          std::shared_ptr<const CMFormatDescription> formatDescription,
                                                          const CMSampleTimingInfo& sampleTiming);
  // The same into `sampleBuffer` (left as it was on failure) rather than
  // behind a shared handle: this allocates nothing.
  static OSStatus makeReadyWithImageBuffer(std::shared_ptr<CVPixelBuffer> imageBuffer,
                                           std::shared_ptr<const CMFormatDescription> formatDescription,
                                           const CMSampleTimingInfo& sampleTiming,
                                           std::optional<CMSampleBuffer>& sampleBuffer);
  // numSamples frames of linear PCM from `presentationTimeStamp` on, one
  // frame 1/sample-rate long; not ready until a data buffer is set.
  static StatusOr<CMSampleBuffer> makeAudio(std::shared_ptr<const CMFormatDescription> formatDescription,
                                            std::size_t numSamples, const CMTime& presentationTimeStamp);

  const std::shared_ptr<const CMFormatDescription>& formatDescription() const noexcept { return formatDescription_; }
  const std::shared_ptr<CMBlockBuffer>& dataBuffer() const noexcept { return dataBuffer_; }
  const std::shared_ptr<CVPixelBuffer>& imageBuffer() const noexcept { return imageBuffer_; }
  std::size_t numSamples() const noexcept { return numSamples_; }
  bool dataIsReady() const noexcept { return dataReady_; }

  // Attaches the data of a buffer made without (it must hold the sample
  // sizes); sets the buffer ready.
  OSStatus setDataBuffer(std::shared_ptr<CMBlockBuffer> dataBuffer);
  // Attaches linear PCM given as audio buffers (one interleaved buffer, or
  // one per channel): each must hold numSamples frames; they are copied
  // into one block, channel after channel. Sets the buffer ready.
  OSStatus setDataBufferFromAudioBuffers(std::span<const std::span<const std::uint8_t>> audioBuffers);
  // Copies frames [frameOffset, frameOffset + frameCount) of linear PCM into
  // audio buffers of the same layout; fails without writing when a
  // destination is too small or the range is outside the samples.
  OSStatus copyPCMDataIntoAudioBuffers(std::size_t frameOffset, std::size_t frameCount,
                                       std::span<const std::span<std::uint8_t>> audioBuffers) const;

  // The earliest presentation time of the samples; invalid without timing.
  CMTime presentationTimeStamp() const noexcept;
  CMTime outputPresentationTimeStamp() const noexcept { return presentationTimeStamp(); }
  // The first sample's decode time; invalid when not known.
  CMTime decodeTimeStamp() const noexcept;
  // The sum of the samples' durations; invalid when any is unknown.
  CMTime duration() const noexcept;
  // Timing of one sample; none for an index out of range or without timing.
  std::optional<CMSampleTimingInfo> sampleTimingInfo(std::size_t index) const;

  // 0 for an index out of range or without sizes.
  std::size_t sampleSize(std::size_t index) const noexcept;
  std::size_t totalSampleSize() const noexcept;

  // One dictionary per sample once made; empty until then.
  const CMSampleAttachmentsArray& sampleAttachments() const noexcept { return attachments_; }
  // Makes the dictionaries (one per sample, all empty) when there are none yet.
  CMSampleAttachmentsArray& mutableSampleAttachments();

 private:
  CMSampleBuffer() = default;
  // `made` behind a shared handle.
  static StatusOr<CMSampleBuffer> share(CMSampleBuffer&& made);

  std::shared_ptr<const CMFormatDescription> formatDescription_;
  std::shared_ptr<CMBlockBuffer> dataBuffer_;
  std::shared_ptr<CVPixelBuffer> imageBuffer_;
  std::size_t numSamples_ = 0;
  bool dataReady_ = false;
  CMSampleEntries<CMSampleTimingInfo> timings_;
  CMSampleEntries<std::size_t> sizes_;
  CMSampleAttachmentsArray attachments_;
};

}  // namespace platform
