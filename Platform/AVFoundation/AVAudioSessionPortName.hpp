#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/AVFoundation/AVAudioSessionPort.hpp"

namespace platform {

// The port type's name as notifications carry it ("Headphones", "Speaker", ...).
std::string_view portTypeName(AVAudioSessionPort port) noexcept;
std::optional<AVAudioSessionPort> portTypeFromName(std::string_view name) noexcept;

// A route's output port types as one comma-separated list of names, the way a
// route change carries the previous route; unknown names are skipped.
std::string joinPortTypeNames(const std::vector<AVAudioSessionPort>& ports);
std::vector<AVAudioSessionPort> splitPortTypeNames(std::string_view names);

}  // namespace platform
