#pragma once

#include <cstdint>

namespace platform {

// High 16 bits name the layout, low 16 bits give its channel count.
using AudioChannelLayoutTag = std::uint32_t;

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_UseChannelDescriptions = (0u << 16) | 0;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_UseChannelBitmap = (1u << 16) | 0;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Mono = (100u << 16) | 1;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Stereo = (101u << 16) | 2;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Quadraphonic = (108u << 16) | 4;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Pentagonal = (109u << 16) | 5;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Hexagonal = (110u << 16) | 6;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Octagonal = (111u << 16) | 8;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_3_0_B = (114u << 16) | 3;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_4_0_B = (116u << 16) | 4;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_5_0_D = (120u << 16) | 5;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_5_1_D = (124u << 16) | 6;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_7_1_B = (127u << 16) | 8;
// Combined with a count: that many channels, in order, with no roles.
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DiscreteInOrder = 147u << 16;

constexpr std::uint32_t AudioChannelLayoutTag_GetNumberOfChannels(AudioChannelLayoutTag tag) noexcept {
  return tag & 0xFFFFu;
}

// A channel layout named by its tag (bitmap layouts keep their bitmap).
struct AudioChannelLayout {
  AudioChannelLayoutTag mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelDescriptions;
  std::uint32_t mChannelBitmap = 0;

  friend bool operator==(const AudioChannelLayout&, const AudioChannelLayout&) = default;
};

}  // namespace platform
