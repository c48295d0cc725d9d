#include "Fluvio/Sources/Screen/ChromaKeyProcessor.hpp"

#include <algorithm>
#include <cmath>

#include "Platform/CoreGraphics/CGColorConversion.hpp"
#include "Platform/CoreGraphics/vImageOperations.hpp"

namespace fluvio {

using namespace platform;

std::shared_ptr<const vImageMultidimensionalTable> ChromaKeyProcessor::table(const CGColor& chromaKeyColor) {
  auto& entry = tables_[chromaKeyColor.components];
  if (!entry) entry = makeTable(chromaKeyColor, 60);
  return entry;
}

const vImage_Buffer& ChromaKeyProcessor::process(const vImage_Buffer& image, const CGColor& chromaKeyColor) {
  const auto lookup = table(chromaKeyColor);
  if (!lookup) throw Error();
  Buffers& buffers = buffers_[{image.width, image.height}];
  for (auto& plane : buffers.planes) {
    if (!plane.reshape(image.width, image.height, 4)) throw Error();
  }
  if (!buffers.outputF.reshape(image.width, image.height, 4) || !buffers.output8.reshape(image.width, image.height, 1)) {
    throw Error();
  }
  const std::array<vImage_Buffer, 4> planes{buffers.planes[0].buffer(), buffers.planes[1].buffer(),
                                            buffers.planes[2].buffer(), buffers.planes[3].buffer()};
  vImageConvert_ARGB8888toPlanarF(image, planes, {1, 1, 1, 1}, {0, 0, 0, 0});
  vImageMultiDimensionalInterpolatedLookupTable_PlanarF({planes[1], planes[2], planes[3]}, buffers.outputF.buffer(),
                                                        *lookup);
  vImageConvert_PlanarFtoPlanar8(buffers.outputF.buffer(), buffers.output8.buffer(), 1.0f, 0.0f);
  return buffers.output8.buffer();
}

std::shared_ptr<const vImageMultidimensionalTable> ChromaKeyProcessor::makeTable(const CGColor& color,
                                                                                 double threshold) {
  // A gray key (gray alone, or gray + alpha) stands for that gray in every
  // channel; a key whose components cannot be read is black.
  const auto& c = color.components;
  float red = 0, green = 0, blue = 0;
  if (c.size() == 1 || c.size() == 2) {
    red = green = blue = static_cast<float>(c[0]);
  } else if (c.size() >= 3) {
    red = static_cast<float>(c[0]), green = static_cast<float>(c[1]), blue = static_cast<float>(c[2]);
  }
  const auto key = labFromDeviceRGB(red, green, blue);
  constexpr std::size_t n = entriesPerChannel;
  std::vector<std::uint16_t> entries(n * n * n, 0);
  for (std::size_t r = 0; r < n; ++r) {
    for (std::size_t g = 0; g < n; ++g) {
      for (std::size_t b = 0; b < n; ++b) {
        const auto lab = labFromDeviceRGB(r / 31.0f, g / 31.0f, b / 31.0f);
        const double distance = std::sqrt(std::pow(lab[0] - key[0], 2) + std::pow(lab[1] - key[1], 2) +
                                          std::pow(lab[2] - key[2], 2));
        const double value = std::clamp(std::tanh((distance / threshold - 0.5 - 0.25) * 20), 0.0, 1.0);
        entries[(r * n + g) * n + b] = static_cast<std::uint16_t>(value * 65535);
      }
    }
  }
  return vImageMultidimensionalTable::make(entries, n);
}

}  // namespace fluvio
