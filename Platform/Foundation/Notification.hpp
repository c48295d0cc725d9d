#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace platform {

// Posted when the application returns from the background.
inline constexpr std::string_view UIApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
// Posted when the audio session's interruption begins or ends; the user info
// holds the interruption type under AVAudioSessionInterruptionTypeKey.
inline constexpr std::string_view AVAudioSessionInterruptionNotification = "AVAudioSessionInterruptionNotification";
inline constexpr std::string_view AVAudioSessionInterruptionTypeKey = "AVAudioSessionInterruptionTypeKey";

// Values of AVAudioSessionInterruptionTypeKey.
enum class AVAudioSessionInterruptionType : std::uint64_t { ended = 0, began = 1 };

using NotificationUserInfoValue = std::variant<bool, std::int64_t, std::uint64_t, double, std::string>;
using NotificationUserInfo = std::map<std::string, NotificationUserInfoValue, std::less<>>;

// One broadcast: its name, the object that posted it (may be none) and the
// details it carries.
struct Notification {
  std::string name;
  std::shared_ptr<const void> object;
  NotificationUserInfo userInfo;

  // The entry under `key`, or none.
  const NotificationUserInfoValue* userInfoValue(std::string_view key) const;
};

// A number's value as an unsigned integer, its fraction dropped; none for
// flags, strings, negative numbers and numbers beyond the range.
std::optional<std::uint64_t> unsignedValue(const NotificationUserInfoValue& value);

}  // namespace platform
