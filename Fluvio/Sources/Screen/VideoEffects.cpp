#include "Fluvio/Sources/Screen/VideoEffects.hpp"

#include <algorithm>

namespace fluvio {

bool VideoEffects::registerVideoEffect(const std::shared_ptr<VideoEffect>& effect) {
  if (!effect || std::find(effects_.begin(), effects_.end(), effect) != effects_.end()) return false;
  effects_.push_back(effect);
  return true;
}

bool VideoEffects::unregisterVideoEffect(const std::shared_ptr<VideoEffect>& effect) {
  const auto found = std::find(effects_.begin(), effects_.end(), effect);
  if (found == effects_.end()) return false;
  effects_.erase(found);
  return true;
}

platform::CIImage::Pointer VideoEffects::apply(platform::CIImage::Pointer image) const {
  for (const auto& effect : effects_) {
    if (image) image = effect->execute(image);
  }
  return image;
}

}  // namespace fluvio
