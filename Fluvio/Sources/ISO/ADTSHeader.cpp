#include "Fluvio/Sources/ISO/ADTSHeader.hpp"

#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"

namespace fluvio {

void ADTSHeader::setData(std::span<const std::uint8_t> data) {
  if (data.size() < AudioSpecificConfig::adtsHeaderSize) return;
  sync = data[0];
  id = (data[1] >> 3) & 1;
  layer = (data[1] >> 1) & 3;
  protectionAbsent = data[1] & 1;
  profile = data[2] >> 6;
  sampleFrequencyIndex = (data[2] >> 2) & 0x0F;
  channelConfiguration = static_cast<std::uint8_t>((data[2] & 1) << 2 | data[3] >> 6);
  originalOrCopy = (data[3] >> 5) & 1;
  home = (data[3] >> 4) & 1;
  copyrightIdBit = (data[3] >> 3) & 1;
  copyrightIdStart = (data[3] >> 2) & 1;
  aacFrameLength = static_cast<std::uint16_t>((data[3] & 3) << 11 | data[4] << 3 | data[5] >> 5);
  bufferFullness = static_cast<std::uint16_t>((data[5] & 0x1F) << 6 | data[6] >> 2);
  aacFrames = data[6] & 3;
}

std::shared_ptr<const platform::CMFormatDescription> ADTSHeader::makeFormatDescription() const {
  const auto type = fromRawValue<AudioObjectType>(static_cast<std::uint8_t>(profile + 1));
  const auto frequency = fromRawValue<SamplingFrequency>(sampleFrequencyIndex);
  const auto configuration = fromRawValue<ChannelConfiguration>(channelConfiguration);
  if (!type || !frequency || !configuration) return nullptr;
  const auto made = platform::CMFormatDescription::makeAudio(
      AudioSpecificConfig{*type, *frequency, *configuration}.streamDescription());
  return made ? made.value : nullptr;
}

}  // namespace fluvio
