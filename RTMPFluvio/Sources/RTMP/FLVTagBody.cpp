#include "RTMPFluvio/Sources/RTMP/FLVTagBody.hpp"

namespace rtmpfluvio {

template <>
std::optional<SoundFormat> fromRawValue<SoundFormat>(std::uint8_t rawValue) noexcept {
  if ((rawValue >= 12 && rawValue <= 13) || (rawValue >= 16 && rawValue <= 254)) return std::nullopt;
  return static_cast<SoundFormat>(rawValue);
}

std::ostream& operator<<(std::ostream& stream, SoundFormat format) {
  switch (format) {
    case SoundFormat::linearPCM: return stream << "linearPCM";
    case SoundFormat::adpcm: return stream << "adpcm";
    case SoundFormat::mp3: return stream << "mp3";
    case SoundFormat::linearPCMLittleEndian: return stream << "linearPCMLittleEndian";
    case SoundFormat::nellymoser16kHzMono: return stream << "nellymoser16kHzMono";
    case SoundFormat::nellymoser8kHzMono: return stream << "nellymoser8kHzMono";
    case SoundFormat::nellymoser: return stream << "nellymoser";
    case SoundFormat::g711ALaw: return stream << "g711ALaw";
    case SoundFormat::g711MuLaw: return stream << "g711MuLaw";
    case SoundFormat::exHeader: return stream << "exHeader";
    case SoundFormat::aac: return stream << "aac";
    case SoundFormat::speex: return stream << "speex";
    case SoundFormat::mp3At8kHz: return stream << "mp3At8kHz";
    case SoundFormat::deviceSpecific: return stream << "deviceSpecific";
    case SoundFormat::unknown: return stream << "unknown";
  }
  return stream << static_cast<int>(rawValue(format));
}

}  // namespace rtmpfluvio
