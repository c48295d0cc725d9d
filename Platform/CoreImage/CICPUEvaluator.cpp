#include "Platform/CoreImage/CICPUEvaluator.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Platform/CoreGraphics/CGRoundedRect.hpp"
#include "Platform/CoreGraphics/vImageOperations.hpp"
#include "Platform/CoreImage/Overloaded.hpp"

namespace platform {

namespace {

bool isIntegral(double value) { return std::abs(value - std::round(value)) < 1e-6; }

// Straight-alpha ARGB bytes from a premultiplied float pixel.
void store(const std::array<float, 4>& pixel, std::uint8_t* out) {
  const float alpha = std::clamp(pixel[3], 0.0f, 1.0f);
  out[0] = static_cast<std::uint8_t>(alpha * 255.0f + 0.5f);
  const float scale = alpha > 0 ? 255.0f / alpha : 0.0f;
  for (int c = 0; c < 3; ++c) out[c + 1] = static_cast<std::uint8_t>(std::clamp(pixel[c] * scale, 0.0f, 255.0f) + 0.5f);
}

}  // namespace

bool CICPUEvaluator::renderARGB(const CIImage& image, const CGRect& rect, const vImage_Buffer& destination) {
  if (renderScaledPixelBuffer(image, rect, destination)) return true;
  rasters_.clear();
  if (!prepare(image)) return false;
  for (std::size_t row = 0; row < destination.height; ++row) {
    std::uint8_t* out = destination.row(row);
    const double y = rect.origin.y + rect.size.height - static_cast<double>(row) - 0.5;
    for (std::size_t column = 0; column < destination.width; ++column) {
      store(sample(image, rect.origin.x + static_cast<double>(column) + 0.5, y), out + column * 4);
    }
  }
  rasters_.clear();
  return true;
}

// Crops and moves of a scaled pixel buffer, when the output lies wholly inside them.
bool CICPUEvaluator::renderScaledPixelBuffer(const CIImage& image, const CGRect& rect,
                                             const vImage_Buffer& destination) {
  CGAffineTransform transform;
  CGRect visible{{-1e15, -1e15}, {2e15, 2e15}};
  const CIImage* node = &image;
  while (true) {
    if (const auto* crop = std::get_if<CIImage::Crop>(&node->node())) {
      visible = intersection(visible, applying(crop->rect, transform));
      node = crop->input.get();
    } else if (const auto* move = std::get_if<CIImage::Transform>(&node->node())) {
      transform = concatenating(move->transform, transform);
      node = move->input.get();
    } else {
      break;
    }
  }
  const auto* source = std::get_if<CIImage::PixelBuffer>(&node->node());
  if (!source || transform.b != 0 || transform.c != 0 || !(transform.a > 0) || !(transform.d > 0)) return false;
  const CGRect placed = applying(node->extent(), transform);
  const CGRect covered = intersection(placed, visible);
  if (intersection(covered, rect) != rect) return false;
  if (!isIntegral(placed.origin.x) || !isIntegral(placed.origin.y) || !isIntegral(placed.size.width) ||
      !isIntegral(placed.size.height)) {
    return false;
  }
  const auto width = static_cast<std::size_t>(std::lround(placed.size.width));
  const auto height = static_cast<std::size_t>(std::lround(placed.size.height));
  const auto left = static_cast<std::size_t>(std::lround(rect.origin.x - placed.origin.x));
  const auto top = static_cast<std::size_t>(std::lround(placed.origin.y + placed.size.height -
                                                        (rect.origin.y + rect.size.height)));
  const CVPixelBuffer& buffer = *source->buffer;
  if (left == 0 && top == 0 && width == destination.width && height == destination.height) {
    return converter_.convert(buffer, destination.row(0), destination.rowBytes, width, height,
                              CIPixelBufferConverter::Layout::argb);
  }
  if (!scratch_.reshape(width, height, 4)) return false;
  const vImage_Buffer& scaled = scratch_.buffer();
  if (!converter_.convert(buffer, scaled.row(0), scaled.rowBytes, width, height,
                          CIPixelBufferConverter::Layout::argb)) {
    return false;
  }
  vImageCopyBuffer(scaled.region(left, top, destination.width, destination.height, 4), destination, 4);
  return true;
}

bool CICPUEvaluator::prepare(const CIImage& image) {
  return std::visit(
      detail::Overloaded{
          [](const CIImage::Color&) { return true; },
          [](const CIImage::RoundedRectangle&) { return true; },
          [&](const CIImage::PixelBuffer& source) {
            const CVPixelBuffer& buffer = *source.buffer;
            vImagePixelBuffer rgba;
            if (!rgba.reshape(buffer.width(), buffer.height(), 4) ||
                !converter_.convert(buffer, rgba.buffer().row(0), rgba.buffer().rowBytes, buffer.width(),
                                    buffer.height(), CIPixelBufferConverter::Layout::argb)) {
              return false;
            }
            Raster& raster = rasters_[&image];
            raster.width = buffer.width();
            raster.height = buffer.height();
            raster.premultiplied.resize(raster.width * raster.height * 4);
            for (std::size_t y = 0; y < raster.height; ++y) {
              const std::uint8_t* in = rgba.buffer().row(y);
              for (std::size_t x = 0; x < raster.width; ++x) {
                float* out = &raster.premultiplied[(y * raster.width + x) * 4];
                const float alpha = in[x * 4] / 255.0f;
                for (int c = 0; c < 3; ++c) out[c] = in[x * 4 + c + 1] / 255.0f * alpha;
                out[3] = alpha;
              }
            }
            return true;
          },
          [&](const CIImage::Bitmap& source) {
            const CGImage& bitmap = *source.image;
            Raster& raster = rasters_[&image];
            raster.width = bitmap.width();
            raster.height = bitmap.height();
            raster.premultiplied.resize(raster.width * raster.height * 4);
            for (std::size_t y = 0; y < raster.height; ++y) {
              const std::uint8_t* in = bitmap.data() + y * bitmap.bytesPerRow();
              for (std::size_t x = 0; x < raster.width; ++x) {
                float* out = &raster.premultiplied[(y * raster.width + x) * 4];
                if (bitmap.pixelFormat() == CGImagePixelFormat::gray8) {
                  out[0] = out[1] = out[2] = in[x] / 255.0f;
                  out[3] = 1.0f;
                } else {
                  const float alpha = in[x * 4] / 255.0f;
                  for (int c = 0; c < 3; ++c) out[c] = in[x * 4 + c + 1] / 255.0f * alpha;
                  out[3] = alpha;
                }
              }
            }
            return true;
          },
          [&](const CIImage::Transform& node) { return prepare(*node.input); },
          [&](const CIImage::Crop& node) { return prepare(*node.input); },
          [&](const CIImage::Over& node) { return prepare(*node.top) && prepare(*node.bottom); },
          [&](const CIImage::AlphaMask& node) { return prepare(*node.input) && prepare(*node.mask); },
          [&](const CIImage::ColorKey& node) { return prepare(*node.input); },
      },
      image.node());
}

CICPUEvaluator::Pixel CICPUEvaluator::sampleRaster(const Raster& raster, double x, double y) const {
  const double width = static_cast<double>(raster.width), height = static_cast<double>(raster.height);
  if (x < 0 || y < 0 || x >= width || y >= height) return {0, 0, 0, 0};
  const double u = std::clamp(x - 0.5, 0.0, width - 1);
  const double v = std::clamp(height - y - 0.5, 0.0, height - 1);
  const auto x0 = static_cast<std::size_t>(u), y0 = static_cast<std::size_t>(v);
  const std::size_t x1 = std::min(x0 + 1, raster.width - 1), y1 = std::min(y0 + 1, raster.height - 1);
  const auto fx = static_cast<float>(u - static_cast<double>(x0)), fy = static_cast<float>(v - static_cast<double>(y0));
  const auto at = [&](std::size_t px, std::size_t py) { return &raster.premultiplied[(py * raster.width + px) * 4]; };
  Pixel result;
  for (int c = 0; c < 4; ++c) {
    const float top = at(x0, y0)[c] + (at(x1, y0)[c] - at(x0, y0)[c]) * fx;
    const float bottom = at(x0, y1)[c] + (at(x1, y1)[c] - at(x0, y1)[c]) * fx;
    result[c] = top + (bottom - top) * fy;
  }
  return result;
}

CICPUEvaluator::Pixel CICPUEvaluator::sample(const CIImage& image, double x, double y) const {
  return std::visit(
      detail::Overloaded{
          [](const CIImage::Color& node) -> Pixel {
            const CIColor& c = node.color;
            return {c.red * c.alpha, c.green * c.alpha, c.blue * c.alpha, c.alpha};
          },
          [&](const CIImage::PixelBuffer&) { return sampleRaster(rasters_.at(&image), x, y); },
          [&](const CIImage::Bitmap&) { return sampleRaster(rasters_.at(&image), x, y); },
          [&](const CIImage::RoundedRectangle& node) -> Pixel {
            const auto coverage = static_cast<float>(roundedRectCoverage(node.extent, node.radius, x, y));
            return {coverage, coverage, coverage, coverage};
          },
          [&](const CIImage::Transform& node) {
            const CGAffineTransform t = inverted(node.transform);
            return sample(*node.input, t.a * x + t.c * y + t.tx, t.b * x + t.d * y + t.ty);
          },
          [&](const CIImage::Crop& node) -> Pixel {
            const CGRect& r = node.rect;
            if (x < r.origin.x || y < r.origin.y || x >= r.origin.x + r.size.width || y >= r.origin.y + r.size.height) {
              return {0, 0, 0, 0};
            }
            return sample(*node.input, x, y);
          },
          [&](const CIImage::Over& node) {
            const Pixel top = sample(*node.top, x, y);
            Pixel result = sample(*node.bottom, x, y);
            for (int c = 0; c < 4; ++c) result[c] = top[c] + result[c] * (1.0f - top[3]);
            return result;
          },
          [&](const CIImage::AlphaMask& node) {
            const float mask = sample(*node.mask, x, y)[3];
            Pixel result = sample(*node.input, x, y);
            for (float& c : result) c *= mask;
            return result;
          },
          [&](const CIImage::ColorKey& node) {
            Pixel result = sample(*node.input, x, y);
            if (result[3] <= 0) return result;
            const float key =
                node.table->lookup(result[0] / result[3], result[1] / result[3], result[2] / result[3]);
            for (float& c : result) c *= key;
            return result;
          },
      },
      image.node());
}

}  // namespace platform
