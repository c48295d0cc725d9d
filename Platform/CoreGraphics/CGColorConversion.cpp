#include "Platform/CoreGraphics/CGColorConversion.hpp"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

double linear(double value) {
  value = std::clamp(value, 0.0, 1.0);
  return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double labCurve(double t) {
  constexpr double epsilon = 216.0 / 24389.0;
  constexpr double kappa = 24389.0 / 27.0;
  return t > epsilon ? std::cbrt(t) : (kappa * t + 16.0) / 116.0;
}

}  // namespace

std::array<float, 3> labFromDeviceRGB(float red, float green, float blue) noexcept {
  const double r = linear(red), g = linear(green), b = linear(blue);
  // sRGB primaries adapted to D50 (Bradford).
  const double x = 0.4360747 * r + 0.3850649 * g + 0.1430804 * b;
  const double y = 0.2225045 * r + 0.7168786 * g + 0.0606169 * b;
  const double z = 0.0139322 * r + 0.0971045 * g + 0.7141733 * b;
  const double fx = labCurve(x / 0.9642), fy = labCurve(y), fz = labCurve(z / 0.8249);
  return {static_cast<float>(116.0 * fy - 16.0), static_cast<float>(500.0 * (fx - fy)),
          static_cast<float>(200.0 * (fy - fz))};
}

}  // namespace platform
