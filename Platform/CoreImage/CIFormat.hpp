#pragma once

namespace platform {

// The precision recipes are composed in before the result is written out.
enum class CIFormat {
  // 8 bits per channel.
  RGBA8,
  // Half floats per channel: faint layers add up instead of rounding away.
  RGBAh,
};

}  // namespace platform
