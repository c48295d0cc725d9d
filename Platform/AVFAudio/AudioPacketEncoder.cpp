#include "Platform/AVFAudio/AudioPacketEncoder.hpp"

#include <algorithm>

#include "Platform/AVFAudio/LibavAudioEncoder.hpp"
#include "Platform/AVFAudio/VOAACAudioEncoder.hpp"

namespace platform {

namespace {

constexpr std::int64_t commonBitRates[] = {
    6'000,   8'000,     12'000,    16'000,    20'000,    24'000,    28'000,   32'000,  40'000,  48'000,
    56'000,  64'000,    72'000,    80'000,    96'000,    112'000,   128'000,  144'000, 160'000, 192'000,
    224'000, 256'000,   288'000,   320'000,   384'000,   448'000,   512'000,  576'000, 640'000, 768'000,
    896'000, 1'024'000, 1'152'000, 1'280'000, 1'536'000, 1'792'000, 2'048'000};

}  // namespace

std::unique_ptr<AudioPacketEncoder> AudioPacketEncoder::make(const Configuration& configuration) {
  if (configuration.sampleRate <= 0 || configuration.channels <= 0) return nullptr;
  if (VOAACAudioEncoder::accepts(configuration)) return VOAACAudioEncoder::make(configuration);
  return LibavAudioEncoder::make(configuration);
}

std::vector<std::int64_t> AudioPacketEncoder::applicableBitRates(AudioFormatID formatID, int sampleRate, int channels) {
  std::int64_t lowPerChannel = 0;
  std::int64_t highPerChannel = 0;
  if (formatID == kAudioFormatMPEG4AAC) {
    // Below about 32 kbit/s per channel at 48 kHz the long blocks starve; the
    // top is what a 6,144-bit channel element can carry, capped where more
    // buys nothing audible.
    lowPerChannel = std::int64_t{32'000} * sampleRate / 48'000;
    highPerChannel = std::min<std::int64_t>(std::int64_t{6} * sampleRate, 160'000);
  } else if (formatID == kAudioFormatOpus) {
    lowPerChannel = 6'000;
    highPerChannel = 256'000;
  }
  std::vector<std::int64_t> rates;
  for (const auto rate : commonBitRates) {
    if (rate >= lowPerChannel * channels && rate <= highPerChannel * channels) rates.push_back(rate);
  }
  return rates;
}

}  // namespace platform
