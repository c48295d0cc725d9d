#include "Fluvio/Sources/Mixer/VideoMixer.hpp"

#include <cstring>

#include "Fluvio/Sources/Util/FluvioLogger.hpp"

namespace fluvio {

namespace {

using namespace platform;

// Fills every row of a plane with `pattern`, `patternSize` bytes at a time.
void fillPlane(std::uint8_t* base, std::size_t stride, std::size_t rowBytes, std::size_t rows, const std::uint8_t* pattern,
               std::size_t patternSize) {
  for (std::size_t row = 0; row < rows; ++row) {
    auto* line = base + row * stride;
    for (std::size_t offset = 0; offset + patternSize <= rowBytes; offset += patternSize) {
      std::memcpy(line + offset, pattern, patternSize);
    }
  }
}

bool paintBlack(CVPixelBuffer& buffer) {
  const std::uint8_t bgra[] = {0, 0, 0, 255};
  const std::uint8_t chroma8[] = {128, 128};
  const std::uint16_t luma10 = 64 << 6;
  const std::uint16_t chroma10[] = {512 << 6, 512 << 6};
  switch (buffer.pixelFormatType()) {
    case kCVPixelFormatType_32BGRA:
      fillPlane(buffer.baseAddress(), buffer.bytesPerRow(), buffer.width() * 4, buffer.height(), bgra, 4);
      return true;
    case kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange:
    case kCVPixelFormatType_420YpCbCr8BiPlanarFullRange: {
      const std::uint8_t luma =
          buffer.pixelFormatType() == kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange ? 16 : 0;
      fillPlane(buffer.baseAddressOfPlane(0), buffer.bytesPerRowOfPlane(0), buffer.widthOfPlane(0),
                buffer.heightOfPlane(0), &luma, 1);
      fillPlane(buffer.baseAddressOfPlane(1), buffer.bytesPerRowOfPlane(1), buffer.widthOfPlane(1) * 2,
                buffer.heightOfPlane(1), chroma8, 2);
      return true;
    }
    case kCVPixelFormatType_420YpCbCr8Planar: {
      const std::uint8_t luma = 16;
      fillPlane(buffer.baseAddressOfPlane(0), buffer.bytesPerRowOfPlane(0), buffer.widthOfPlane(0),
                buffer.heightOfPlane(0), &luma, 1);
      for (std::size_t plane = 1; plane < 3; ++plane) {
        fillPlane(buffer.baseAddressOfPlane(plane), buffer.bytesPerRowOfPlane(plane), buffer.widthOfPlane(plane),
                  buffer.heightOfPlane(plane), chroma8, 1);
      }
      return true;
    }
    case kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange:
      fillPlane(buffer.baseAddressOfPlane(0), buffer.bytesPerRowOfPlane(0), buffer.widthOfPlane(0) * 2,
                buffer.heightOfPlane(0), reinterpret_cast<const std::uint8_t*>(&luma10), 2);
      fillPlane(buffer.baseAddressOfPlane(1), buffer.bytesPerRowOfPlane(1), buffer.widthOfPlane(1) * 4,
                buffer.heightOfPlane(1), reinterpret_cast<const std::uint8_t*>(chroma10), 4);
      return true;
    default:
      return false;
  }
}

}  // namespace

std::shared_ptr<CMSampleBuffer> VideoMixer::makeBlackFrame(const CMSampleBuffer& sampleBuffer) {
  const auto& picture = sampleBuffer.imageBuffer();
  if (!picture) return nullptr;
  auto made = CVPixelBuffer::make(static_cast<std::int32_t>(picture->width()),
                                  static_cast<std::int32_t>(picture->height()), picture->pixelFormatType());
  if (!made) return nullptr;
  made.value->lockBaseAddress(0);
  const bool painted = paintBlack(*made.value);
  made.value->unlockBaseAddress(0);
  if (!painted) return nullptr;
  made.value->setAttachments(picture->attachments(CVAttachmentMode::shouldPropagate), CVAttachmentMode::shouldPropagate);
  const auto timing = sampleBuffer.sampleTimingInfo(0).value_or(CMSampleTimingInfo{});
  auto black = CMSampleBuffer::makeReadyWithImageBuffer(made.value, sampleBuffer.formatDescription(), timing);
  return black ? black.value : nullptr;
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
  if (settings_.isMuted && sampleBuffer.imageBuffer()) {
    const auto black = makeBlackFrame(sampleBuffer);
    if (!black) {
      TP_WARN(logger(), "no muted frame for this picture format: the frame is not output");
      return;
    }
    if (delegate) delegate->didOutput(*black);
    return;
  }
  if (delegate) delegate->didOutput(sampleBuffer);
  currentPixelBuffer_ = sampleBuffer.imageBuffer();
}

}  // namespace fluvio
