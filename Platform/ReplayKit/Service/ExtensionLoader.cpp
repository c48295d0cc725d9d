#include "Platform/ReplayKit/Service/ExtensionLoader.hpp"

#include <dlfcn.h>

#include "Platform/ReplayKit/RPBroadcastExtension.hpp"

namespace platform::broadcastservice {

std::shared_ptr<RPBroadcastSampleHandler> loadExtension(const std::string& modulePath, const std::string& principalClass,
                                                        std::string& error) {
  // Local binding: the module keeps its own copies of the libraries it carries.
  void* module = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    error = dlerror();
    return nullptr;
  }
  auto factory = reinterpret_cast<RPExtensionPrincipalFactory>(dlsym(module, principalFactorySymbol(principalClass).c_str()));
  if (!factory) {
    error = modulePath + " has no principal class " + principalClass;
    return nullptr;
  }
  std::shared_ptr<RPBroadcastSampleHandler> handler;
  factory(&handler);
  if (!handler) error = "the principal class " + principalClass + " made no object";
  return handler;
}

}  // namespace platform::broadcastservice
