#pragma once

#include <vector>

#include "Platform/AVFoundation/CGGeometry.hpp"

namespace platform {

// A colour as its components in a colour space: gray + alpha (2), or red,
// green, blue + alpha (4). Compared by components.
struct CGColor {
  std::vector<CGFloat> components;

  static CGColor genericRGB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
    return {{red, green, blue, alpha}};
  }
  static CGColor genericGray(CGFloat gray, CGFloat alpha) { return {{gray, alpha}}; }
  static CGColor black() { return genericRGB(0, 0, 0, 1); }
  static CGColor white() { return genericRGB(1, 1, 1, 1); }
  static CGColor clear() { return genericRGB(0, 0, 0, 0); }

  friend bool operator==(const CGColor&, const CGColor&) = default;
};

}  // namespace platform
