#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// Posted when the application goes to the background. Nothing on this
// system decides that: the host program or a test posts it.
inline constexpr std::string_view UIApplicationDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
// Under this key an ended interruption says whether to resume (bit 0).
inline constexpr std::string_view AVAudioSessionInterruptionOptionKey = "AVAudioSessionInterruptionOptionKey";
inline constexpr std::uint64_t AVAudioSessionInterruptionOptionShouldResume = 1;
// A route change carries the previous route's output port types, joined by
// commas, under this key.
inline constexpr std::string_view AVAudioSessionRouteChangePreviousRouteKey =
    "AVAudioSessionRouteChangePreviousRouteKey";
inline constexpr std::string_view AVAudioSessionRouteChangeNotification = "AVAudioSessionRouteChangeNotification";

}  // namespace platform
