#pragma once

#include "Tracepost/Sources/TPLogger.hpp"

namespace tarvelportalbroadcast {

// The extension's logger; its warnings reach the broadcast service's output.
tracepost::TPLogger& logger();

}  // namespace tarvelportalbroadcast
