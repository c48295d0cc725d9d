#pragma once

#include <memory>
#include <vector>

#include "Fluvio/Sources/Screen/VideoEffect.hpp"

namespace fluvio {

// Effects in registration order, each at most once (by identity).
class VideoEffects {
 public:
  // False when the effect is missing or already registered.
  bool registerVideoEffect(const std::shared_ptr<VideoEffect>& effect);
  // False when it is not registered.
  bool unregisterVideoEffect(const std::shared_ptr<VideoEffect>& effect);
  // The image passed through every effect in order; none once an effect gives none.
  platform::CIImage::Pointer apply(platform::CIImage::Pointer image) const;

 private:
  std::vector<std::shared_ptr<VideoEffect>> effects_;
};

}  // namespace fluvio
