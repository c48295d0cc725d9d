#include "Platform/Foundation/NotificationCenter.hpp"

#include <algorithm>
#include <utility>

namespace platform {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter center;
  return center;
}

void NotificationCenter::addObserver(const void* observer, Handler handler, std::string name, const void* object) {
  if (!handler) return;
  auto shared = std::make_shared<const Handler>(std::move(handler));
  std::lock_guard lock(mutex_);
  registrations_.push_back({observer, std::move(shared), std::move(name), object});
}

void NotificationCenter::removeObserver(const void* observer, std::optional<std::string_view> name) {
  std::lock_guard lock(mutex_);
  std::erase_if(registrations_, [&](const Registration& registration) {
    return registration.observer == observer && (!name || registration.name == *name);
  });
}

void NotificationCenter::post(const Notification& notification) const {
  // Handlers run outside the lock so that they may add or remove observers.
  std::vector<std::shared_ptr<const Handler>> handlers;
  {
    std::lock_guard lock(mutex_);
    for (const auto& registration : registrations_) {
      if (registration.name != notification.name) continue;
      if (registration.object && registration.object != notification.object.get()) continue;
      handlers.push_back(registration.handler);
    }
  }
  for (const auto& handler : handlers) (*handler)(notification);
}

void NotificationCenter::post(std::string name, std::shared_ptr<const void> object,
                              NotificationUserInfo userInfo) const {
  post(Notification{std::move(name), std::move(object), std::move(userInfo)});
}

}  // namespace platform
