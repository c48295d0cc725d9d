#include "Fluvio/Sources/Screen/ScreenRendererByCPU.hpp"

#include <algorithm>
#include <cmath>

#include "Fluvio/Sources/Screen/ChromaKeyProcessable.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Platform/CoreGraphics/vImageOperations.hpp"

namespace fluvio {

using namespace platform;

ScreenRendererByCPU::ScreenRendererByCPU(DynamicRangeMode mode)
    : context_(CIContext::make(contextOptions(mode).value_or(CIContextOptions{}))), colorSpace_(colorSpace(mode)) {}

void ScreenRendererByCPU::setBackgroundColor(const CGColor& color) {
  if (color == backgroundColor()) return;
  ScreenRenderer::setBackgroundColor(color);
  const auto& c = color.components;
  const auto byte = [](CGFloat value) {
    return static_cast<std::uint8_t>(std::clamp(std::isfinite(value) ? value : 0.0, 0.0, 1.0) * 255);
  };
  if (c.size() == 4) {
    backgroundBytes_ = {byte(c[3]), byte(c[0]), byte(c[1]), byte(c[2])};
  } else if (c.size() == 3) {
    backgroundBytes_ = {byte(c[2]), byte(c[0]), byte(c[1]), byte(c[1])};
  } else if (c.size() == 2) {
    backgroundBytes_ = {byte(c[1]), byte(c[0]), byte(c[0]), byte(c[0])};
  }
}

ChromaKeyProcessor* ScreenRendererByCPU::chromaKeyProcessor() {
  if (!chromaKeyProcessor_) chromaKeyProcessor_.emplace();
  return &*chromaKeyProcessor_;
}

void ScreenRendererByCPU::layout(ScreenObject& object) {
  const auto made = object.makeCGImage(*this);
  if (made.state == ScreenObjectImage<CGImage>::State::unchanged) return;
  Prepared& prepared = images_[object.identifier()];
  prepared.owner = object.weak_from_this();
  prepared.isValid = false;
  if (made.state == ScreenObjectImage<CGImage>::State::empty) return;
  if (!vImageBuffer_InitWithCGImage(prepared.pixels, *made.image)) {
    TP_ERROR(logger(), "could not prepare the image of an object");
    return;
  }
  prepared.isValid = true;
  const vImage_Buffer& pixels = prepared.pixels.buffer();
  if (object.cornerRadius() > 0) {
    const CGSize size{static_cast<CGFloat>(pixels.width), static_cast<CGFloat>(pixels.height)};
    if (const vImage_Buffer* mask = shapeFactory_.cornerRadius(size, object.cornerRadius())) {
      vImageMultiplyAlpha_ARGB8888(*mask, pixels);
    }
    return;
  }
  const auto* keyed = dynamic_cast<const ChromaKeyProcessable*>(&object);
  if (!keyed || !keyed->chromaKeyColor()) return;
  try {
    const vImage_Buffer& mask = chromaKeyProcessor()->process(pixels, *keyed->chromaKeyColor());
    vImageMultiplyAlpha_ARGB8888(mask, pixels);
  } catch (const std::exception& error) {
    TP_ERROR(logger(), error.what());
  }
}

void ScreenRendererByCPU::draw(ScreenObject& object) {
  const auto found = images_.find(object.identifier());
  if (found == images_.end() || !found->second.isValid || !canvas_.data) return;
  const vImage_Buffer& pixels = found->second.pixels.buffer();
  // Clip the picture to the canvas: the part off any edge is not drawn.
  const double x = std::floor(object.bounds().origin.x);
  const double y = std::floor(object.bounds().origin.y);
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  const double left = std::max(0.0, x), top = std::max(0.0, y);
  const double right = std::min(static_cast<double>(canvas_.width), x + static_cast<double>(pixels.width));
  const double bottom = std::min(static_cast<double>(canvas_.height), y + static_cast<double>(pixels.height));
  if (right <= left || bottom <= top) return;
  const auto width = static_cast<std::size_t>(right - left), height = static_cast<std::size_t>(bottom - top);
  const vImage_Buffer source = pixels.region(static_cast<std::size_t>(left - x), static_cast<std::size_t>(top - y),
                                             width, height, 4);
  const vImage_Buffer destination =
      canvas_.region(static_cast<std::size_t>(left), static_cast<std::size_t>(top), width, height, 4);
  if (object.isTranslucent()) {
    vImageAlphaBlend_ARGB8888(source, destination, destination);
  } else {
    vImageCopyBuffer(source, destination, 4);
  }
}

void ScreenRendererByCPU::setTarget(std::shared_ptr<CVPixelBuffer> pixelBuffer) {
  if (!pixelBuffer) return;
  const OSType format = pixelBuffer->pixelFormatType();
  const bool formatChanged = pixelFormatType_ != format;
  if (formatChanged) converter_.reset();
  pixelFormatType_ = format;
  target_ = std::move(pixelBuffer);
  canvas_ = {};  // never draw into an earlier frame's buffer
  if (!converter_) {
    try {
      converter_ = vImageConverter::make({8, 32, CGColorSpaceCreateWithName(kCGColorSpaceDeviceRGB)},
                                         vImageCVImageFormat::makeWithCVPixelBuffer(*target_));
    } catch (const vImageConverter::Error& error) {
      if (formatChanged) TP_ERROR(logger(), "setTarget(_:)", error.what());
      return;
    }
  }
  if (format == kCVPixelFormatType_32ARGB) {
    canvas_ = {target_->baseAddress(), target_->height(), target_->width(), target_->bytesPerRow()};
  } else if (composed_.reshape(target_->width(), target_->height(), 4)) {
    canvas_ = composed_.buffer();
  }
  // Every format is cleared, so a frame never shows what an earlier one left.
  if (canvas_.data) vImageBufferFill_ARGB8888(canvas_, backgroundBytes_);
}

void ScreenRendererByCPU::render() {
  if (target_ && converter_ && canvas_.data && canvas_.data == composed_.buffer().data) {
    converter_->convert(canvas_, *target_);
  }
  // Objects that are gone take their prepared pictures with them.
  std::erase_if(images_, [](const auto& entry) { return entry.second.owner.expired(); });
}

}  // namespace fluvio
