#pragma once

namespace platform {

// The plane geometry that layers and capture fitting work in, in points.
using CGFloat = double;

struct CGPoint {
  CGFloat x = 0;
  CGFloat y = 0;

  friend bool operator==(const CGPoint&, const CGPoint&) = default;
};

struct CGSize {
  CGFloat width = 0;
  CGFloat height = 0;

  friend bool operator==(const CGSize&, const CGSize&) = default;
};

struct CGRect {
  CGPoint origin;
  CGSize size;

  friend bool operator==(const CGRect&, const CGRect&) = default;
};

// Maps (x, y) to (a x + c y + tx, b x + d y + ty).
struct CGAffineTransform {
  CGFloat a = 1;
  CGFloat b = 0;
  CGFloat c = 0;
  CGFloat d = 1;
  CGFloat tx = 0;
  CGFloat ty = 0;

  static constexpr CGAffineTransform makeScale(CGFloat sx, CGFloat sy) noexcept { return {sx, 0, 0, sy, 0, 0}; }

  friend bool operator==(const CGAffineTransform&, const CGAffineTransform&) = default;
};

}  // namespace platform
