#include "Fluvio/Sources/Stream/SoundTransform.hpp"

#include "Fluvio/Sources/Util/Mirror.hpp"

namespace fluvio {

std::string SoundTransform::debugDescription() const {
  return Mirror("SoundTransform", {Mirror::child("volume", volume), Mirror::child("pan", pan)}).debugDescription();
}

}  // namespace fluvio
