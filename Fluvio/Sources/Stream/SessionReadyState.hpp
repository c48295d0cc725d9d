#pragma once

#include <optional>

namespace fluvio {

enum class SessionReadyState : int {
  connecting = 0,
  open = 1,
  closing = 2,
  closed = 3,
};

template <class Enumeration>
std::optional<Enumeration> fromRawValue(int rawValue) noexcept;

constexpr int rawValue(SessionReadyState state) noexcept { return static_cast<int>(state); }

// Any value outside 0 to 3 names no state.
template <>
std::optional<SessionReadyState> fromRawValue<SessionReadyState>(int rawValue) noexcept;

}  // namespace fluvio
