#pragma once

#include <optional>
#include <string>

namespace tarvelportal {

// The page bridge from the app's resources; none when it is missing or not UTF-8.
std::optional<std::string> loadBridgeScript();

}  // namespace tarvelportal
