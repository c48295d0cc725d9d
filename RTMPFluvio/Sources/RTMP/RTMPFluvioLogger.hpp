#pragma once

#include <string_view>

#include "Tracepost/Sources/TPLogger.hpp"

namespace rtmpfluvio {

inline constexpr std::string_view kRTMPFluvioIdentifier = "com.fluvio.RTMPFluvio";

// The module's logger: the one registered under kRTMPFluvioIdentifier,
// fetched once, on first use.
tracepost::TPLogger& logger();

}  // namespace rtmpfluvio
