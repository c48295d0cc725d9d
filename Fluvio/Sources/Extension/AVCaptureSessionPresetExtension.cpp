#include "Fluvio/Sources/Extension/AVCaptureSessionPresetExtension.hpp"

#include <utility>

namespace fluvio {
namespace {

using Preset = platform::AVCaptureSession::Preset;

std::optional<std::pair<std::int32_t, std::int32_t>> dimensions(Preset preset) noexcept {
  switch (preset) {
    case Preset::hd1920x1080:
      return std::pair{1920, 1080};
    case Preset::hd1280x720:
      return std::pair{1280, 720};
    case Preset::vga640x480:
      return std::pair{640, 480};
    case Preset::cif352x288:
      return std::pair{352, 288};
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<std::int32_t> width(Preset preset) noexcept {
  const auto size = dimensions(preset);
  return size ? std::optional(size->first) : std::nullopt;
}

std::optional<std::int32_t> height(Preset preset) noexcept {
  const auto size = dimensions(preset);
  return size ? std::optional(size->second) : std::nullopt;
}

}  // namespace fluvio
