#include "Platform/AVFAudio/AVAudioChannelLayout.hpp"

namespace platform {

std::shared_ptr<AVAudioChannelLayout> AVAudioChannelLayout::make(AudioChannelLayoutTag layoutTag) {
  if (AudioChannelLayoutTag_GetNumberOfChannels(layoutTag) == 0) {
    return nullptr;
  }
  return std::shared_ptr<AVAudioChannelLayout>(new AVAudioChannelLayout(layoutTag));
}

}  // namespace platform
