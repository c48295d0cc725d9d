#include "Platform/CoreImage/CIContext.hpp"

#include <cmath>

#include "Platform/CoreImage/CICPUEvaluator.hpp"

namespace platform {

namespace {

CGRect integral(const CGRect& rect) {
  const double left = std::floor(rect.origin.x), bottom = std::floor(rect.origin.y);
  const double right = std::ceil(rect.origin.x + rect.size.width), top = std::ceil(rect.origin.y + rect.size.height);
  return {{left, bottom}, {right - left, top - bottom}};
}

}  // namespace

std::shared_ptr<CIContext> CIContext::make(const CIContextOptions& options) {
  return std::make_shared<CIContext>(std::make_unique<CICPUEvaluator>(), options, false);
}

CIContext::CIContext(std::unique_ptr<CIEvaluator> evaluator, CIContextOptions options, bool isGPU)
    : evaluator_(std::move(evaluator)), options_(std::move(options)), isGPU_(isGPU) {}

std::shared_ptr<CGImage> CIContext::createCGImage(const CIImage& image, const CGRect& rect) {
  return createCGImage(image, rect, nullptr);
}

std::shared_ptr<CGImage> CIContext::createCGImage(const CIImage& image, const CGRect& rect,
                                                  std::shared_ptr<CGImage> reusable) {
  if (isEmpty(rect) || !std::isfinite(rect.size.width) || !std::isfinite(rect.size.height)) return nullptr;
  const CGRect area = integral(rect);
  const auto width = static_cast<std::int64_t>(area.size.width), height = static_cast<std::int64_t>(area.size.height);
  const bool fits = CGImage::isUnshared(reusable) && reusable->width() == static_cast<std::size_t>(width) &&
                    reusable->height() == static_cast<std::size_t>(height) &&
                    reusable->pixelFormat() == CGImagePixelFormat::argb8888;
  auto bitmap = fits ? std::move(reusable) : CGImage::make(width, height, CGImagePixelFormat::argb8888);
  if (!bitmap) return nullptr;
  const vImage_Buffer destination{bitmap->mutableData(), bitmap->height(), bitmap->width(), bitmap->bytesPerRow()};
  if (!evaluator_->renderARGB(image, area, destination)) return nullptr;
  return bitmap;
}

bool CIContext::render(const CIImage& image, CVPixelBuffer& buffer, const CGRect& bounds) {
  const CGRect area{integral(bounds).origin,
                    {static_cast<CGFloat>(buffer.width()), static_cast<CGFloat>(buffer.height())}};
  if (buffer.pixelFormatType() == kCVPixelFormatType_32ARGB) {
    return evaluator_->renderARGB(image, area, {buffer.baseAddress(), buffer.height(), buffer.width(),
                                                buffer.bytesPerRow()});
  }
  if (!CIPixelBufferConverter::isSupported(buffer.pixelFormatType())) return false;
  if (!scratch_.reshape(buffer.width(), buffer.height(), 4)) return false;
  return evaluator_->renderARGB(image, area, scratch_.buffer()) &&
         converter_.convert(scratch_.buffer().row(0), scratch_.buffer().rowBytes, buffer);
}

}  // namespace platform
