#pragma once

#include <memory>
#include <string>

#include "Platform/ReplayKit/RPBroadcastSampleHandler.hpp"

namespace platform::broadcastservice {

// Loads a broadcast extension module and makes one object of its principal
// class. The module stays loaded for the life of the process.
std::shared_ptr<RPBroadcastSampleHandler> loadExtension(const std::string& modulePath, const std::string& principalClass,
                                                        std::string& error);

}  // namespace platform::broadcastservice
