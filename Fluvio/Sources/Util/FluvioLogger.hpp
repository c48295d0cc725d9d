#pragma once

#include <string_view>

#include "Tracepost/Sources/TPLogger.hpp"

namespace fluvio {

inline constexpr std::string_view kFluvioIdentifier = "com.fluvio.Fluvio";

// The logger every component of the library writes to: the one registered
// under kFluvioIdentifier, fetched on first use and kept for the process.
tracepost::TPLogger& logger();

}  // namespace fluvio
