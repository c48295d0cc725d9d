#include "Platform/CoreMedia/CMSampleBuffer.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace platform {
namespace {

bool isValidEntryCount(std::size_t entries, std::size_t numSamples) {
  return entries == 0 || entries == 1 || entries == numSamples;
}

// `time` times `count`; invalid when the product does not fit.
CMTime scaled(const CMTime& time, std::size_t count) {
  std::int64_t value = 0;
  if (!time.isValid() || count > std::size_t(std::numeric_limits<std::int64_t>::max()) ||
      __builtin_mul_overflow(time.value, static_cast<std::int64_t>(count), &value)) {
    return CMTime::invalid;
  }
  return CMTime{value, time.timescale, time.flags};
}

// Linear PCM as stored in one data buffer: `planes` runs of frames, one
// after the other, each frame `bytesPerFrame` long.
struct PCMLayout {
  std::size_t planes;
  std::size_t bytesPerFrame;

  // Bytes of one plane of `frames` frames; none when they cannot be counted.
  std::optional<std::size_t> planeSize(std::size_t frames) const {
    std::size_t size = 0;
    std::size_t total = 0;
    if (__builtin_mul_overflow(frames, bytesPerFrame, &size) || __builtin_mul_overflow(size, planes, &total)) {
      return std::nullopt;
    }
    return size;
  }
};

std::optional<PCMLayout> pcmLayout(const CMFormatDescription* formatDescription) {
  const AudioStreamBasicDescription* description =
      formatDescription ? formatDescription->audioStreamBasicDescription() : nullptr;
  if (!description || description->mFormatID != kAudioFormatLinearPCM) return std::nullopt;
  return PCMLayout{description->isNonInterleaved() ? description->mChannelsPerFrame : 1u, description->mBytesPerFrame};
}

}  // namespace

bool isTrue(const CMSampleAttachmentValue& value) noexcept {
  if (const bool* flag = std::get_if<bool>(&value)) return *flag;
  return std::get<std::int64_t>(value) != 0;
}

StatusOr<CMSampleBuffer> CMSampleBuffer::make(std::shared_ptr<CMBlockBuffer> dataBuffer, bool dataReady,
                                              std::shared_ptr<const CMFormatDescription> formatDescription,
                                              std::size_t numSamples, std::span<const CMSampleTimingInfo> sampleTimings,
                                              std::span<const std::size_t> sampleSizes) {
  if (!isValidEntryCount(sampleTimings.size(), numSamples) || !isValidEntryCount(sampleSizes.size(), numSamples)) {
    return {kCMSampleBufferError_InvalidEntryCount, nullptr};
  }
  if (dataReady && !dataBuffer && numSamples > 0) return {kCMSampleBufferError_RequiredParameterMissing, nullptr};
  CMSampleBuffer made;
  made.formatDescription_ = std::move(formatDescription);
  made.numSamples_ = numSamples;
  made.timings_.assign(sampleTimings);
  made.sizes_.assign(sampleSizes);
  if (dataBuffer) {
    if (const OSStatus status = made.setDataBuffer(std::move(dataBuffer)); status != noErr) return {status, nullptr};
  }
  made.dataReady_ = dataReady;
  return share(std::move(made));
}

StatusOr<CMSampleBuffer> CMSampleBuffer::makeReadyWithImageBuffer(
    std::shared_ptr<CVPixelBuffer> imageBuffer, std::shared_ptr<const CMFormatDescription> formatDescription,
    const CMSampleTimingInfo& sampleTiming) {
  std::optional<CMSampleBuffer> made;
  if (const OSStatus status =
          makeReadyWithImageBuffer(std::move(imageBuffer), std::move(formatDescription), sampleTiming, made);
      status != noErr) {
    return {status, nullptr};
  }
  return share(std::move(*made));
}

OSStatus CMSampleBuffer::makeReadyWithImageBuffer(std::shared_ptr<CVPixelBuffer> imageBuffer,
                                                  std::shared_ptr<const CMFormatDescription> formatDescription,
                                                  const CMSampleTimingInfo& sampleTiming,
                                                  std::optional<CMSampleBuffer>& sampleBuffer) {
  if (!imageBuffer || !formatDescription) return kCMSampleBufferError_RequiredParameterMissing;
  const CMVideoDimensions dimensions = formatDescription->dimensions();
  if (formatDescription->mediaType() != kCMMediaType_Video ||
      formatDescription->mediaSubType() != imageBuffer->pixelFormatType() ||
      std::size_t(dimensions.width) != imageBuffer->width() || std::size_t(dimensions.height) != imageBuffer->height()) {
    return kCMSampleBufferError_InvalidMediaFormat;
  }
  CMSampleBuffer& made = sampleBuffer.emplace(CMSampleBuffer());
  made.imageBuffer_ = std::move(imageBuffer);
  made.formatDescription_ = std::move(formatDescription);
  made.numSamples_ = 1;
  made.dataReady_ = true;
  made.timings_.assign({&sampleTiming, 1});
  return noErr;
}

StatusOr<CMSampleBuffer> CMSampleBuffer::makeAudio(std::shared_ptr<const CMFormatDescription> formatDescription,
                                                   std::size_t numSamples, const CMTime& presentationTimeStamp) {
  if (!formatDescription) return {kCMSampleBufferError_RequiredParameterMissing, nullptr};
  const auto layout = pcmLayout(formatDescription.get());
  if (!layout) return {kCMSampleBufferError_InvalidMediaTypeForOperation, nullptr};
  if (numSamples == 0 || !layout->planeSize(numSamples)) return {kCMSampleBufferError_InvalidEntryCount, nullptr};
  const double sampleRate = formatDescription->audioStreamBasicDescription()->mSampleRate;
  // A frame lasts one tick of the sample rate; a fractional rate is rounded.
  const auto timescale = static_cast<std::int32_t>(std::min(std::round(sampleRate), 2147483647.0));
  const CMSampleTimingInfo timing{CMTime::make(1, timescale), presentationTimeStamp, CMTime::invalid};
  const std::size_t frameSize = layout->bytesPerFrame * layout->planes;
  return make(nullptr, false, std::move(formatDescription), numSamples, {&timing, 1}, {&frameSize, 1});
}

OSStatus CMSampleBuffer::setDataBuffer(std::shared_ptr<CMBlockBuffer> dataBuffer) {
  if (!dataBuffer) return kCMSampleBufferError_RequiredParameterMissing;
  if (dataBuffer_) return kCMSampleBufferError_AlreadyHasDataBuffer;
  if (!sizes_.empty()) {
    const std::size_t total = totalSampleSize();
    if (total == std::numeric_limits<std::size_t>::max() || total > dataBuffer->dataLength()) {
      return kCMSampleBufferError_InvalidSampleData;
    }
  }
  dataBuffer_ = std::move(dataBuffer);
  dataReady_ = true;
  return noErr;
}

OSStatus CMSampleBuffer::setDataBufferFromAudioBuffers(std::span<const std::span<const std::uint8_t>> audioBuffers) {
  const auto layout = pcmLayout(formatDescription_.get());
  if (!layout) return kCMSampleBufferError_InvalidMediaTypeForOperation;
  if (dataBuffer_) return kCMSampleBufferError_AlreadyHasDataBuffer;
  const auto planeSize = layout->planeSize(numSamples_);
  if (audioBuffers.size() != layout->planes || !planeSize) return kCMSampleBufferError_InvalidEntryCount;
  for (const auto& buffer : audioBuffers) {
    if (buffer.size() < *planeSize) return kCMSampleBufferError_ArrayTooSmall;
  }
  auto block = CMBlockBuffer::make(*planeSize * layout->planes);
  if (!block) return block.status;
  auto destination = block.value->mutableData();
  for (std::size_t plane = 0; plane < audioBuffers.size(); ++plane) {
    std::copy_n(audioBuffers[plane].begin(), *planeSize, destination.begin() + plane * *planeSize);
  }
  return setDataBuffer(std::move(block.value));
}

OSStatus CMSampleBuffer::copyPCMDataIntoAudioBuffers(std::size_t frameOffset, std::size_t frameCount,
                                                     std::span<const std::span<std::uint8_t>> audioBuffers) const {
  const auto layout = pcmLayout(formatDescription_.get());
  if (!layout) return kCMSampleBufferError_InvalidMediaTypeForOperation;
  if (!dataBuffer_ || !dataReady_) return kCMSampleBufferError_BufferNotReady;
  if (frameOffset > numSamples_ || frameCount > numSamples_ - frameOffset) {
    return kCMSampleBufferError_SampleIndexOutOfRange;
  }
  const auto planeSize = layout->planeSize(numSamples_);
  if (audioBuffers.size() != layout->planes || !planeSize) return kCMSampleBufferError_InvalidEntryCount;
  const std::size_t bytes = frameCount * layout->bytesPerFrame;
  for (const auto& buffer : audioBuffers) {
    if (buffer.size() < bytes) return kCMSampleBufferError_ArrayTooSmall;
  }
  if (dataBuffer_->dataLength() < *planeSize * layout->planes) return kCMSampleBufferError_InvalidSampleData;
  for (std::size_t plane = 0; plane < audioBuffers.size(); ++plane) {
    dataBuffer_->copyDataBytes(plane * *planeSize + frameOffset * layout->bytesPerFrame,
                               audioBuffers[plane].first(bytes));
  }
  return noErr;
}

CMTime CMSampleBuffer::presentationTimeStamp() const noexcept {
  if (timings_.empty()) return CMTime::invalid;
  CMTime earliest = timings_.front().presentationTimeStamp;
  for (const CMSampleTimingInfo& timing : timings_) {
    if (timing.presentationTimeStamp < earliest) earliest = timing.presentationTimeStamp;
  }
  return earliest;
}

CMTime CMSampleBuffer::decodeTimeStamp() const noexcept {
  return timings_.empty() ? CMTime::invalid : timings_.front().decodeTimeStamp;
}

CMTime CMSampleBuffer::duration() const noexcept {
  if (timings_.empty()) return CMTime::invalid;
  if (timings_.size() == 1) return scaled(timings_.front().duration, numSamples_);
  CMTime total = CMTime::zero;
  for (const CMSampleTimingInfo& timing : timings_) total = total + timing.duration;
  return total;
}

std::optional<CMSampleTimingInfo> CMSampleBuffer::sampleTimingInfo(std::size_t index) const {
  if (index >= numSamples_ || timings_.empty()) return std::nullopt;
  if (timings_.size() > 1) return timings_[index];
  // One entry stands for samples that follow each other by its duration.
  CMSampleTimingInfo timing = timings_.front();
  if (index > 0 && timing.duration.isValid()) {
    const CMTime offset = scaled(timing.duration, index);
    if (timing.presentationTimeStamp.isValid()) timing.presentationTimeStamp = timing.presentationTimeStamp + offset;
    if (timing.decodeTimeStamp.isValid()) timing.decodeTimeStamp = timing.decodeTimeStamp + offset;
  }
  return timing;
}

std::size_t CMSampleBuffer::sampleSize(std::size_t index) const noexcept {
  if (index >= numSamples_ || sizes_.empty()) return 0;
  return sizes_.size() == 1 ? sizes_.front() : sizes_[index];
}

std::size_t CMSampleBuffer::totalSampleSize() const noexcept {
  std::size_t total = 0;
  if (sizes_.size() == 1) {
    if (__builtin_mul_overflow(sizes_.front(), numSamples_, &total)) return std::numeric_limits<std::size_t>::max();
    return total;
  }
  for (const std::size_t size : sizes_) {
    if (__builtin_add_overflow(total, size, &total)) return std::numeric_limits<std::size_t>::max();
  }
  return total;
}

StatusOr<CMSampleBuffer> CMSampleBuffer::share(CMSampleBuffer&& made) {
  try {
    return {noErr, detail::makePooled<CMSampleBuffer>(std::move(made))};
  } catch (const std::bad_alloc&) {
    return {kCMSampleBufferError_AllocationFailed, nullptr};
  }
}

CMSampleAttachmentsArray& CMSampleBuffer::mutableSampleAttachments() {
  if (attachments_.empty()) attachments_.resize(numSamples_);
  return attachments_;
}

}  // namespace platform
