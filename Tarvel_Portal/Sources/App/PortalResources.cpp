#include "Tarvel_Portal/Sources/App/PortalResources.hpp"

#include <gio/gio.h>

#include <mutex>

extern "C" void tarvel_portal_register_resource();

namespace tarvelportal {

void registerPortalResources() {
  static std::once_flag once;
  std::call_once(once, tarvel_portal_register_resource);
}

}  // namespace tarvelportal
