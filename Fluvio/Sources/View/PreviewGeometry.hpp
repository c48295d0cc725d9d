#pragma once

#include "Platform/AVFoundation/AVLayerVideoGravity.hpp"
#include "Platform/AVFoundation/CGGeometry.hpp"

namespace fluvio {

// How a preview fits a picture into its drawable: translate the picture by
// `offset` (in picture units), then scale it.
struct PreviewFit {
  platform::CGFloat scaleX = 0;
  platform::CGFloat scaleY = 0;
  platform::CGPoint offset;

  // Where the picture lands in the drawable (its origin may lie outside under fill).
  platform::CGRect destination(const platform::CGSize& picture) const noexcept;
};

// Centred under both aspect modes; nothing for an empty picture.
PreviewFit previewFit(platform::AVLayerVideoGravity gravity, const platform::CGSize& drawable,
                      const platform::CGSize& picture) noexcept;

}  // namespace fluvio
