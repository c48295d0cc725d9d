#pragma once

#include <cstdint>
#include <optional>
#include <ostream>

#include "Platform/CoreMedia/FourCharCode.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessageType.hpp"

namespace rtmpfluvio {

// The four-bit sound format in the high bits of an audio body's first byte.
enum class SoundFormat : std::uint8_t {
  linearPCM = 0,
  adpcm = 1,
  mp3 = 2,
  linearPCMLittleEndian = 3,
  nellymoser16kHzMono = 4,
  nellymoser8kHzMono = 5,
  nellymoser = 6,
  g711ALaw = 7,
  g711MuLaw = 8,
  exHeader = 9,
  aac = 10,
  speex = 11,
  mp3At8kHz = 14,
  deviceSpecific = 15,
  unknown = 255,
};

constexpr std::uint8_t rawValue(SoundFormat format) noexcept { return static_cast<std::uint8_t>(format); }
// 12, 13 and 16 to 254 name no format.
template <>
std::optional<SoundFormat> fromRawValue<SoundFormat>(std::uint8_t rawValue) noexcept;
std::ostream& operator<<(std::ostream& stream, SoundFormat format);

// The fixed header bytes of the audio and video bodies we write and read.
namespace flv {

// Audio, legacy form: AAC, rate index 3, 16-bit, stereo; then the AAC packet type.
inline constexpr std::uint8_t kAACSoundByte = 0xAF;
enum class AACPacketType : std::uint8_t { sequenceHeader = 0, raw = 1 };
// The header byte of an enhanced body (extended header in the high four bits)
// for a packet type.
constexpr std::uint8_t enhancedAudioByte(std::uint8_t packetType) noexcept { return 0x90 | packetType; }
enum class AudioPacketType : std::uint8_t { sequenceStart = 0, codedFrames = 1 };
inline constexpr platform::FourCharCode kOpusFourCC = platform::fourCC("Opus");

// Video: frame type in bits 6 to 4; the top bit marks the enhanced form.
enum class FrameType : std::uint8_t { key = 1, inter = 2 };
inline constexpr std::uint8_t kEnhancedVideoBit = 0x80;
inline constexpr std::uint8_t kAVCCodecId = 7;
enum class AVCPacketType : std::uint8_t { sequenceHeader = 0, nalUnits = 1 };
enum class VideoPacketType : std::uint8_t { sequenceStart = 0, codedFrames = 1, codedFramesX = 3 };
inline constexpr platform::FourCharCode kHEVCFourCC = platform::fourCC("hvc1");

// Legacy video: header byte, packet type, 24-bit composition time.
inline constexpr std::size_t kLegacyVideoHeaderSize = 5;
// Enhanced: header byte and FourCC; coded frames add the composition time.
inline constexpr std::size_t kEnhancedHeaderSize = 5;
inline constexpr std::size_t kEnhancedCodedFramesHeaderSize = 8;

}  // namespace flv
}  // namespace rtmpfluvio
