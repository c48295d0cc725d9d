#include "Fluvio/Sources/Screen/VideoScreenObjectImage.hpp"

#include <algorithm>

#include "Fluvio/Sources/Extension/AVLayerVideoGravityExtension.hpp"
#include "Fluvio/Sources/Screen/ScreenRenderer.hpp"

namespace fluvio::videoscreenobject {

using namespace platform;

CIImage::Pointer makeImage(const CIImage::Pointer& frame, AVLayerVideoGravity gravity, const CGRect& bounds) {
  if (!frame) return nullptr;
  const CIImage::Pointer scaled = frame->transformed(fluvio::scale(gravity, bounds.size, frame->extent().size));
  const CGRect area = region(gravity, {{0, 0}, bounds.size}, scaled->extent());
  return scaled->cropped(area)->transformed({1, 0, 0, 1, -area.origin.x, -area.origin.y});
}

ScreenObjectImage<CIImage> makeCIImage(const std::optional<CMSampleBuffer>& frame, AVLayerVideoGravity gravity,
                                       const CGRect& bounds) {
  if (!frame || !frame->imageBuffer()) return ScreenObjectImage<CIImage>::empty();
  return ScreenObjectImage<CIImage>::of(makeImage(CIImage::pixelBuffer(frame->imageBuffer()), gravity, bounds));
}

ScreenObjectImage<CGImage> makeCGImage(const ScreenObjectImage<CIImage>& image, ScreenRenderer& renderer,
                                       std::shared_ptr<CGImage>& bitmap) {
  if (image.state == ScreenObjectImage<CIImage>::State::unchanged) return ScreenObjectImage<CGImage>::unchanged();
  if (image.state == ScreenObjectImage<CIImage>::State::empty) return ScreenObjectImage<CGImage>::empty();
  bitmap = renderer.context().createCGImage(*image.image, image.image->extent(), std::move(bitmap));
  return ScreenObjectImage<CGImage>::of(bitmap);
}

CGRect makeBounds(ScreenObject& object, const CGSize& size, const CMSampleBuffer* reference,
                  AVLayerVideoGravity gravity, const std::function<CGRect(const CGSize&)>& baseBounds) {
  if (!object.parent() || !reference || !reference->formatDescription()) return baseBounds(size);
  const auto dimensions = reference->formatDescription()->dimensions();
  const CGRect rect = baseBounds(size);
  if (gravity != AVLayerVideoGravity::resizeAspect || dimensions.width <= 0 || dimensions.height <= 0) return rect;
  const double width = dimensions.width, height = dimensions.height;
  const double scale = std::min(rect.size.height / height, rect.size.width / width);
  return baseBounds({width * scale, height * scale});
}

}  // namespace fluvio::videoscreenobject
