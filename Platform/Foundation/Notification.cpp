#include "Platform/Foundation/Notification.hpp"

#include <cmath>
#include <limits>
#include <type_traits>

namespace platform {

const NotificationUserInfoValue* Notification::userInfoValue(std::string_view key) const {
  const auto entry = userInfo.find(key);
  return entry == userInfo.end() ? nullptr : &entry->second;
}

std::optional<std::uint64_t> unsignedValue(const NotificationUserInfoValue& value) {
  return std::visit(
      [](const auto& number) -> std::optional<std::uint64_t> {
        using Type = std::decay_t<decltype(number)>;
        if constexpr (std::is_same_v<Type, std::uint64_t>) {
          return number;
        } else if constexpr (std::is_same_v<Type, std::int64_t>) {
          if (number < 0) return std::nullopt;
          return static_cast<std::uint64_t>(number);
        } else if constexpr (std::is_same_v<Type, double>) {
          // 2^64 itself is out of range; every double below it converts.
          constexpr double limit = 18446744073709551616.0;
          if (!(number >= 0.0 && number < limit)) return std::nullopt;
          return static_cast<std::uint64_t>(number);
        } else {
          return std::nullopt;
        }
      },
      value);
}

}  // namespace platform
