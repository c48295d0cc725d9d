#pragma once

#include <cstdint>
#include <optional>

namespace fluvio {

// The case of a byte-sized raw-value enumeration for `rawValue`, or none when
// the value names no case. Each enumeration specialises it beside its declaration.
template <class Enumeration>
std::optional<Enumeration> fromRawValue(std::uint8_t rawValue);

}  // namespace fluvio
