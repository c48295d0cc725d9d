#include "Fluvio/Sources/ISO/AudioFormatExtension.hpp"

namespace fluvio {

std::shared_ptr<platform::AVAudioChannelLayout> makeChannelLayout(std::uint32_t channels) {
  switch (channels) {
    case 0:
    case 1:
    case 2: return nullptr;
    case 3: return platform::AVAudioChannelLayout::make(platform::kAudioChannelLayoutTag_MPEG_3_0_B);
    case 4: return platform::AVAudioChannelLayout::make(platform::kAudioChannelLayoutTag_Quadraphonic);
    case 5: return platform::AVAudioChannelLayout::make(platform::kAudioChannelLayoutTag_Pentagonal);
    case 6: return platform::AVAudioChannelLayout::make(platform::kAudioChannelLayoutTag_Hexagonal);
    case 8: return platform::AVAudioChannelLayout::make(platform::kAudioChannelLayoutTag_Octagonal);
    default:
      // The tag's count field holds 16 bits; a larger count has no layout.
      if (channels > 0xFFFF) return nullptr;
      return platform::AVAudioChannelLayout::make(platform::kAudioChannelLayoutTag_DiscreteInOrder | channels);
  }
}

std::shared_ptr<platform::AVAudioFormat> makeAudioFormat(
    const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) {
  const auto* streamDescription = formatDescription ? formatDescription->audioStreamBasicDescription() : nullptr;
  if (!streamDescription) return nullptr;
  auto layout = makeChannelLayout(streamDescription->mChannelsPerFrame);
  const bool isBigEndian16BitPCM = streamDescription->mFormatID == platform::kAudioFormatLinearPCM &&
                                   (streamDescription->mFormatFlags & platform::kAudioFormatFlagIsBigEndian) &&
                                   streamDescription->mBitsPerChannel == 16;
  if (!isBigEndian16BitPCM) return platform::AVAudioFormat::make(*streamDescription, std::move(layout));

  const bool interleaved = !streamDescription->isNonInterleaved();
  const auto sampleRate = streamDescription->mSampleRate;
  if (layout) {
    return platform::AVAudioFormat::make(platform::AVAudioCommonFormat::pcmFormatInt16, sampleRate, interleaved,
                                         std::move(layout));
  }
  return platform::AVAudioFormat::make(platform::AVAudioCommonFormat::pcmFormatInt16, sampleRate,
                                       streamDescription->mChannelsPerFrame, interleaved);
}

}  // namespace fluvio
