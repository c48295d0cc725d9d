#pragma once

#include "Platform/AVFoundation/AVLayerVideoGravity.hpp"
#include "Platform/AVFoundation/CGGeometry.hpp"

namespace fluvio {

// The scale that fits a picture of size `source` into `destination`.
platform::CGAffineTransform scale(platform::AVLayerVideoGravity gravity, const platform::CGSize& destination,
                                  const platform::CGSize& source) noexcept;

// The part of the picture `source` to draw into `destination`: for
// resizeAspectFill the destination-sized rectangle centred on the overflow,
// else the whole picture.
platform::CGRect region(platform::AVLayerVideoGravity gravity, const platform::CGRect& destination,
                        const platform::CGRect& source) noexcept;

}  // namespace fluvio
