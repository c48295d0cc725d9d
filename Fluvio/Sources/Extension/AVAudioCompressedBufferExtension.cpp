#include "Fluvio/Sources/Extension/AVAudioCompressedBufferExtension.hpp"

#include <algorithm>
#include <array>

#include "Fluvio/Sources/ISO/AudioSpecificConfig.hpp"

namespace fluvio {

bool encode(const platform::AVAudioCompressedBuffer& buffer, std::vector<std::uint8_t>& data) {
  const auto config = AudioSpecificConfig::make(buffer.format()->formatDescription());
  if (!config) return false;
  std::array<std::uint8_t, AudioSpecificConfig::adtsHeaderSize> header{};
  const std::size_t length = buffer.byteLength();
  if (!config->encode(header, length)) return false;

  if (data.size() < header.size() + length) data.resize(header.size() + length);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer.data());
  std::copy(bytes, bytes + length, std::copy(header.begin(), header.end(), data.begin()));
  return true;
}

}  // namespace fluvio
