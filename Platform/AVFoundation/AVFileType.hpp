#pragma once

#include <string_view>

namespace platform {

// The container a writer makes.
enum class AVFileType {
  mpeg4,
  quickTimeMovie,
};

inline constexpr AVFileType AVFileTypeMPEG4 = AVFileType::mpeg4;
inline constexpr AVFileType AVFileTypeQuickTimeMovie = AVFileType::quickTimeMovie;

// The muxer that writes the container.
constexpr std::string_view muxerName(AVFileType fileType) noexcept {
  return fileType == AVFileType::mpeg4 ? "mp4" : "mov";
}

}  // namespace platform
