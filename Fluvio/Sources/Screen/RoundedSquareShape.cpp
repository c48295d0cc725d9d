#include "Fluvio/Sources/Screen/RoundedSquareShape.hpp"

#include <cmath>

#include "Platform/CoreGraphics/CGContext.hpp"

namespace fluvio {

using namespace platform;

std::shared_ptr<CGImage> RoundedSquareShape::makeImage() {
  if (!std::isfinite(rect.size.width) || !std::isfinite(rect.size.height)) return nullptr;
  auto context = CGContext::makeBitmap(static_cast<std::int64_t>(rect.size.width),
                                       static_cast<std::int64_t>(rect.size.height), CGContext::Kind::gray8);
  if (!context) return nullptr;
  context->fillRoundedRect(rect, cornerRadius, CGColor::white());
  return context->makeImage();
}

}  // namespace fluvio
