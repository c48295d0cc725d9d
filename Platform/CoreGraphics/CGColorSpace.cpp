#include "Platform/CoreGraphics/CGColorSpace.hpp"

#include <array>

namespace platform {

std::shared_ptr<const CGColorSpace> CGColorSpaceCreateWithName(std::string_view name) {
  static constexpr std::array known{kCGColorSpaceITUR_709, kCGColorSpaceITUR_2100_HLG, kCGColorSpaceGenericLab,
                                    kCGColorSpaceDeviceRGB};
  for (std::string_view candidate : known) {
    if (candidate == name) return std::make_shared<const CGColorSpace>(std::string(name));
  }
  return nullptr;
}

}  // namespace platform
