#pragma once

#include <cstdint>

#include "Platform/CoreMedia/FourCharCode.hpp"

namespace platform {

using AudioFormatID = FourCharCode;
using AudioFormatFlags = std::uint32_t;

inline constexpr AudioFormatID kAudioFormatLinearPCM = fourCC("lpcm");
inline constexpr AudioFormatID kAudioFormatMPEG4AAC = fourCC("aac ");
inline constexpr AudioFormatID kAudioFormatOpus = fourCC("opus");

inline constexpr AudioFormatFlags kAudioFormatFlagIsFloat = 1u << 0;
inline constexpr AudioFormatFlags kAudioFormatFlagIsBigEndian = 1u << 1;
inline constexpr AudioFormatFlags kAudioFormatFlagIsSignedInteger = 1u << 2;
inline constexpr AudioFormatFlags kAudioFormatFlagIsPacked = 1u << 3;
inline constexpr AudioFormatFlags kAudioFormatFlagIsNonInterleaved = 1u << 5;
inline constexpr AudioFormatFlags kAudioFormatFlagsNativeFloatPacked = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;

// For AAC streams the format flags carry the MPEG-4 audio object type.
enum class MPEG4ObjectID : std::uint32_t {
  aacMain = 1,
  aacLC = 2,
  aacSSR = 3,
  aacLTP = 4,
  aacSBR = 5,
  aacScalable = 6,
  twinVQ = 7,
  celp = 8,
  hvxc = 9,
};

// The layout of one audio stream. For linear PCM, bytes per frame counts one
// channel when the format is non-interleaved and all channels otherwise.
struct AudioStreamBasicDescription {
  double mSampleRate = 0;
  AudioFormatID mFormatID = 0;
  AudioFormatFlags mFormatFlags = 0;
  std::uint32_t mBytesPerPacket = 0;
  std::uint32_t mFramesPerPacket = 0;
  std::uint32_t mBytesPerFrame = 0;
  std::uint32_t mChannelsPerFrame = 0;
  std::uint32_t mBitsPerChannel = 0;
  std::uint32_t mReserved = 0;

  bool isNonInterleaved() const noexcept { return (mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0; }

  friend bool operator==(const AudioStreamBasicDescription&, const AudioStreamBasicDescription&) = default;
};

}  // namespace platform
