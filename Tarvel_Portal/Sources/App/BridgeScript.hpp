#pragma once

#include <optional>

#include "Tarvel_Portal/Sources/Controller/SiteWebViewController.hpp"

namespace tarvelportal {

// The page bridge from the app's resources; none when a part of it is missing
// or not UTF-8.
std::optional<BroadcastBridgeScripts> loadBridgeScript();

}  // namespace tarvelportal
