#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "Platform/ReplayKit/RPBroadcastSampleHandler.hpp"

namespace platform {

// What a broadcast extension module exports for its principal class: a
// function that makes one handler.
using RPExtensionPrincipalFactory = void (*)(std::shared_ptr<RPBroadcastSampleHandler>* handler);

inline std::string principalFactorySymbol(std::string_view className) {
  return "RPExtensionMakePrincipal_" + std::string(className);
}

}  // namespace platform

// Names `Class` (made by Class::make()) as the module's principal class.
#define RP_EXTENSION_PRINCIPAL_CLASS(Class)                                                            \
  extern "C" __attribute__((visibility("default"))) void RPExtensionMakePrincipal_##Class(            \
      std::shared_ptr<platform::RPBroadcastSampleHandler>* handler) {                                 \
    *handler = Class::make();                                                                         \
  }
