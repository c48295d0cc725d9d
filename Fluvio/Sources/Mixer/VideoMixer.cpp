#include "Fluvio/Sources/Mixer/VideoMixer.hpp"

#include <algorithm>
#include <cstring>

#include "Fluvio/Sources/Util/FluvioLogger.hpp"

namespace fluvio {

namespace {

using namespace platform;

// A new buffer holding `source`'s pixels and propagated attachments.
StatusOr<CVPixelBuffer> copyPicture(CVPixelBuffer& source) {
  auto copy = CVPixelBuffer::make(static_cast<std::int32_t>(source.width()), static_cast<std::int32_t>(source.height()),
                                  source.pixelFormatType());
  if (!copy) return copy;
  if (const CVReturn status = source.lockBaseAddress(kCVPixelBufferLock_ReadOnly); status != kCVReturnSuccess) {
    return {status, nullptr};
  }
  auto& target = *copy.value;
  // The same size and format make the same layout: every plane in one copy.
  target.lockBaseAddress(0);
  std::memcpy(target.baseAddress(), source.baseAddress(), std::min(source.dataSize(), target.dataSize()));
  target.unlockBaseAddress(0);
  source.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
  target.setAttachments(source.attachments(CVAttachmentMode::shouldPropagate), CVAttachmentMode::shouldPropagate);
  return copy;
}

}  // namespace

void VideoMixer::setSettings(VideoMixerSettings settings) noexcept {
  settings_ = settings;
  // Muting again freezes the picture current then.
  if (!settings_.isMuted) frozen_.reset();
}

void VideoMixer::append(const CMSampleBuffer& sampleBuffer, std::uint8_t track) {
  if (sampleBuffer.formatDescription()) {
    inputFormats_[track] = sampleBuffer.formatDescription();
  } else {
    inputFormats_.erase(track);
  }
  auto delegate = delegate_.lock();
  if (delegate) delegate->didInput(sampleBuffer, track);
  if (settings_.mode != VideoMixerSettings::Mode::passthrough || track != settings_.mainTrack) return;
  // Muted before any picture was kept, the live frames pass until one is.
  if (settings_.isMuted && sampleBuffer.imageBuffer() && currentPixelBuffer_) {
    outputFrozen(sampleBuffer, delegate.get());
    return;
  }
  if (delegate) delegate->didOutput(sampleBuffer);
  if (sampleBuffer.imageBuffer()) currentPixelBuffer_ = sampleBuffer.imageBuffer();
}

void VideoMixer::outputFrozen(const CMSampleBuffer& live, VideoMixerDelegate* delegate) {
  if (!frozen_) {
    const auto copy = copyPicture(*currentPixelBuffer_);
    if (!copy) {
      TP_WARN(logger(), "no copy of the picture to show while muted, status ", copy.status, ": the frame is not output");
      return;
    }
    frozen_ = FrozenPicture{copy.value, CMFormatDescription::makeForImageBuffer(*copy.value).value};
  }
  const auto timing = live.sampleTimingInfo(0).value_or(CMSampleTimingInfo{});
  std::optional<CMSampleBuffer> muted;
  // The live frame's description while it still fits the picture, so the
  // output's format does not change with muting.
  if (CMSampleBuffer::makeReadyWithImageBuffer(frozen_->picture, live.formatDescription(), timing, muted) != noErr &&
      CMSampleBuffer::makeReadyWithImageBuffer(frozen_->picture, frozen_->formatDescription, timing, muted) != noErr) {
    return;
  }
  if (delegate) delegate->didOutput(*muted);
}

}  // namespace fluvio
