#pragma once

#include <array>

namespace platform {

// CIE L*a*b* (D50 white, as the generic Lab space) of a device RGB colour
// with components 0...1 (sRGB transfer curve).
std::array<float, 3> labFromDeviceRGB(float red, float green, float blue) noexcept;

}  // namespace platform
