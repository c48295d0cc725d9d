#pragma once

#include <optional>

namespace fluvio {

enum class StreamReadyState : int {
  idle = 0,
  play = 1,
  playing = 2,
  publish = 3,
  publishing = 4,
};

template <class Enumeration>
std::optional<Enumeration> fromRawValue(int rawValue) noexcept;

constexpr int rawValue(StreamReadyState state) noexcept { return static_cast<int>(state); }

// Any value outside 0 to 4 names no state.
template <>
std::optional<StreamReadyState> fromRawValue<StreamReadyState>(int rawValue) noexcept;

}  // namespace fluvio
